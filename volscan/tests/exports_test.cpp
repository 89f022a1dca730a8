// The flat interface: argument checks and the Ex family over several volumes.
#include <gtest/gtest.h>

#include "context.h"
#include "image_builders.h"

namespace volscan {
namespace {

using namespace volscan::testing;

struct SetCloser {
    void operator()(VolscanSet* s) const { ReleaseVolumeInfoEx(s); }
};
using SetPtr = std::unique_ptr<VolscanSet, SetCloser>;

// An NTFS volume whose only deleted file is named `name`.
ByteVector ntfs_with(const std::u16string& name) {
    NtfsImage image;
    image.record(20, 2, 0, {file_name(reference(5, 5), name), resident_attribute(0x80, {1, 2, 3})});
    return image.bytes();
}

ByteVector fat16_with(const std::string& name11) {
    FatImage image(false, 5000, 4);
    ByteVector e = short_entry(name11, 0x20, 9, 3);
    e[0] = 0xE5;
    image.entries(image.root_offset(), {e});
    return image.bytes();
}

// C: and E: NTFS, D: FAT16.
class Exports : public ::testing::Test {
  protected:
    void SetUp() override {
        LineSink::reset();
        devices_ =
            mount({ntfs_with(u"on c.txt"), fat16_with("XND     TXT"), ntfs_with(u"on e.txt")});
    }
    std::vector<std::shared_ptr<tobrin::platform::MemoryDevice>> devices_;
};

TEST_F(Exports, InitVolumeInfoTakesExactlyADriveName) {
    EXPECT_EQ(InitVolumeInfo(nullptr), nullptr);
    EXPECT_EQ(InitVolumeInfo("C"), nullptr);
    EXPECT_EQ(InitVolumeInfo("C:\\"), nullptr);
    EXPECT_EQ(InitVolumeInfo("Q:"), nullptr);
    ContextPtr lower(InitVolumeInfo("d:"));
    ASSERT_TRUE(lower);
    EXPECT_STREQ(lower->root_path.data(), "d:\\");
    EXPECT_EQ(lower->kind, FsKind::fat16);
}

TEST_F(Exports, IndexAndArgumentChecks) {
    ContextPtr c(InitVolumeInfo("C:"));
    ASSERT_EQ(ScanVolume(c.get(), nullptr), 1);
    ASSERT_EQ(c->entry_count(), 1u);
    std::uint64_t bytes = 0;
    EXPECT_EQ(GetFileClusters(c.get(), 0, 0, 1, &bytes), nullptr);
    EXPECT_EQ(GetFileClusters(c.get(), 1, 5, 1, &bytes), nullptr);
    EXPECT_EQ(GetFileClusters(nullptr, 0, 5, 1, &bytes), nullptr);
    EXPECT_EQ(GetFileClusters(c.get(), 0, 5, 1, nullptr), nullptr);
    void* buffer = GetFileClusters(c.get(), 0, 5, 1, &bytes);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(bytes, 3u);
    EXPECT_EQ(ReleaseFileBuffer(buffer), 1);
    EXPECT_EQ(RecoverFile(c.get(), 1, "/tmp/volscan-never-written", nullptr), 0);
    EXPECT_EQ(RecoverFile(c.get(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(QueryFileCoverageRate(c.get(), 1), -1);
    EXPECT_EQ(QueryFileCoverageRate(c.get(), 0), 0);
    EXPECT_EQ(ScanVolume(nullptr, nullptr), 0);
    EXPECT_EQ(ReleaseFileBuffer(nullptr), 1);
    EXPECT_EQ(ReleaseVolumeInfoEx(nullptr), 1);
}

TEST_F(Exports, SecondScanOfAContextIsRefused) {
    ContextPtr c(InitVolumeInfo("C:"));
    EXPECT_EQ(ScanVolume(c.get(), LineSink::take), 1);
    EXPECT_EQ(ScanVolume(c.get(), LineSink::take), 0);
    EXPECT_EQ(LineSink::lines.size(), 1u);
    EXPECT_EQ(c->entry_count(), 1u);
}

TEST_F(Exports, BitmapIsReadOnceAndItsLossIsShown) {
    ContextPtr c(InitVolumeInfo("C:"));
    ASSERT_EQ(ScanVolume(c.get(), nullptr), 1);
    EXPECT_EQ(QueryFileCoverageRate(c.get(), 0), 0);
    devices_[0]->fail_reads(0, devices_[0]->size());
    EXPECT_EQ(QueryFileCoverageRate(c.get(), 0), 0);

    devices_[2]->fail_reads(NtfsImage::kBitmapCluster * NtfsImage::kCluster, NtfsImage::kCluster);
    ContextPtr e(InitVolumeInfo("E:"));
    ASSERT_EQ(ScanVolume(e.get(), LineSink::take), 1);
    ASSERT_EQ(LineSink::lines.size(), 1u);
    EXPECT_EQ(LineSink::lines[0], "on e.txt|E:\\|3|1/1/1601 0:0:0|0|?%");
    EXPECT_EQ(QueryFileCoverageRate(e.get(), 0), -1);
}

TEST_F(Exports, InitVolumeInfoExSplitsTheDriveList) {
    struct Case {
        const char* list;
        std::vector<std::string> drives;
    };
    const Case cases[] = {
        {"c:|d:|Q:", {"C:", "D:"}}, {"C:|", {"C:"}}, {"C:\\|D:", {"D:"}}, {"", {}}, {"e:", {"E:"}},
    };
    for (const Case& c : cases) {
        SetPtr set(InitVolumeInfoEx(c.list));
        ASSERT_TRUE(set) << c.list;
        std::vector<std::string> drives;
        for (const auto& v : set->volumes) drives.emplace_back(v->root_path.data(), 2);
        EXPECT_EQ(drives, c.drives) << c.list;
    }
    EXPECT_EQ(InitVolumeInfoEx(nullptr), nullptr);
}

TEST_F(Exports, FindTargetVolumeIgnoresCase) {
    SetPtr set(InitVolumeInfoEx("c:|d:|Q:"));
    EXPECT_EQ(FindTargetVolume(set.get(), "d:"), set->volumes[1].get());
    EXPECT_EQ(FindTargetVolume(set.get(), "C:\\x"), set->volumes[0].get());
    EXPECT_EQ(FindTargetVolume(set.get(), "E:"), nullptr);
    EXPECT_EQ(FindTargetVolume(set.get(), "d"), nullptr);
    EXPECT_EQ(FindTargetVolume(nullptr, "d:"), nullptr);
}

TEST_F(Exports, ScanVolumeExFilterAndFlags) {
    struct Case {
        std::uint32_t flags;
        const char* filter;
        std::int32_t result;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {0, "D:E:", 1, {"_ND.TXT", "on e.txt"}},
        {0, "e:", 1, {"on e.txt"}},
        {0, "D", 1, {}},
        {1, "D:", 1, {"on c.txt", "_ND.TXT", "on e.txt"}},
        {1, nullptr, 1, {"on c.txt", "_ND.TXT", "on e.txt"}},
        {3, nullptr, 0, {}},
        {0, nullptr, 0, {}},
    };
    for (const Case& c : cases) {
        SetPtr set(InitVolumeInfoEx("C:|D:|E:"));
        LineSink::reset();
        EXPECT_EQ(ScanVolumeEx(set.get(), LineSink::take, c.flags, c.filter), c.result) << c.flags;
        std::vector<std::string> names;
        for (const auto& line : LineSink::lines) names.push_back(line.substr(0, line.find('|')));
        EXPECT_EQ(names, c.names) << c.flags << " " << (c.filter ? c.filter : "null");
    }
    SetPtr set(InitVolumeInfoEx("C:"));
    EXPECT_EQ(ScanVolumeEx(set.get(), nullptr, 1, nullptr), 0);
    EXPECT_EQ(ScanVolumeEx(nullptr, LineSink::take, 1, nullptr), 0);
}

TEST_F(Exports, ExFamilyFindsTheVolume) {
    SetPtr set(InitVolumeInfoEx("C:|D:"));
    ASSERT_EQ(ScanVolumeEx(set.get(), LineSink::take, 1, nullptr), 1);
    std::uint64_t bytes = 0;
    void* buffer = GetFileClustersEx(set.get(), "d:", 0, 1, 0, &bytes);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(bytes, 3u);
    ReleaseFileBuffer(buffer);
    EXPECT_EQ(GetFileClustersEx(set.get(), "E:", 0, 1, 0, &bytes), nullptr);
    EXPECT_EQ(GetFileClustersEx(set.get(), "D:", 0, 0, 0, &bytes), nullptr);
    EXPECT_EQ(GetFileClustersEx(set.get(), "D:", 0, 0, 1, &bytes), nullptr);
    EXPECT_EQ(RecoverFileEx(set.get(), "E:", 0, "/tmp/volscan-never-written", nullptr), 0);
    EXPECT_EQ(RecoverFileEx(set.get(), nullptr, 0, "/tmp/volscan-never-written", nullptr), 0);
}

}  // namespace
}  // namespace volscan
