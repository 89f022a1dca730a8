#include "fat_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "context.h"
#include "image_builders.h"

namespace volscan {
namespace {

using namespace volscan::testing;

constexpr std::uint8_t kArchive = 0x20, kDir = 0x10;

std::uint16_t dos_time(int hour, int minute, int second) {
    return static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2);
}

ByteVector deleted(ByteVector e) {
    e[0] = 0xE5;
    return e;
}

std::vector<ByteVector> with_long_name(const std::u16string& name, ByteVector short_entry) {
    auto list = long_name_entries(name);
    list.push_back(std::move(short_entry));
    return list;
}

template <class... Lists>
std::vector<ByteVector> join(Lists... lists) {
    std::vector<ByteVector> out;
    (out.insert(out.end(), lists.begin(), lists.end()), ...);
    return out;
}

ByteVector read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), {});
}

// FAT16, 5000 clusters of 2048 bytes: a tree with the cases the walk must tell apart.
FatImage fat16_tree() {
    FatImage image(false, 5000, 4);
    const DosStamp stamp{dos_time(13, 7, 42), 0x3A84};
    image.entries(
        image.root_offset(),
        join(std::vector<ByteVector>{short_entry("DOCS       ", kDir, 3, 0),
                                     deleted(short_entry("FILE    TXT", kArchive, 10, 100, stamp))},
             with_long_name(u"A long file name.bin",
                            deleted(short_entry("LONGFI~1BIN", kArchive, 30, 10000))),
             std::vector<ByteVector>{
                 deleted(short_entry("FOO     C  ", kArchive, 12, 5)),
                 deleted(short_entry("MONTH0  TXT", kArchive, 13, 5, {0, 0x3A04})),
                 deleted(short_entry("MONTH13 TXT", kArchive, 13, 5, {0, 0x3BA4})),
                 deleted(short_entry("HOUR24  TXT", kArchive, 13, 5, {dos_time(24, 0, 0), 0x3A84})),
                 deleted(short_entry("HUGE    TXT", kArchive, 13, 0x80000001)),
                 deleted(short_entry("EMPTY   TXT", kArchive, 0, 0)),
                 deleted(short_entry("ONE        ", kDir, 40, 0)),
                 deleted(short_entry("NODOTS     ", kDir, 44, 0)),
                 short_entry("LATER      ", kDir, 40, 0),
                 short_entry("LOOP       ", kDir, 50, 0),
             }));
    image.folder(3, 0, {deleted(short_entry("\x82SUM\x82   TXT", kArchive, 11, 7))});
    image.folder(40, 0,
                 {short_entry("INNER   TXT", kArchive, 41, 10),
                  deleted(short_entry("GONE    TXT", kArchive, 41, 10)),
                  short_entry("SUB        ", kDir, 42, 0)},
                 false);
    image.folder(42, 40, {short_entry("DEEP    TXT", kArchive, 43, 10)}, false);
    image.entries(image.cluster_offset(44), {short_entry("STRAY   TXT", kArchive, 45, 10)});
    image.folder(50, 0, {deleted(short_entry("LOOPED  TXT", kArchive, 52, 10))});
    image.fat(50, 51);
    image.fat(51, 50);
    image.data(30, pattern(10000, 9));
    image.fat(31, 0xFFFF);  // two of its five clusters belong to live files now
    image.fat(33, 0xFFFF);
    image.data(10, pattern(100, 4));
    return image;
}

class FatScan : public ::testing::Test {
  protected:
    void SetUp() override {
        LineSink::reset();
        dir_ = std::filesystem::temp_directory_path() /
               ("volscan_fat_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::vector<std::string> scan(ByteVector image, std::uint32_t sector_size = 512) {
        devices_ = mount({std::move(image)}, sector_size);
        context_.reset(InitVolumeInfo("C:"));
        if (!context_) {
            ADD_FAILURE() << "volume did not open";
            return {};
        }
        EXPECT_EQ(ScanVolume(context_.get(), LineSink::take), 1);
        return LineSink::lines;
    }
    std::string target(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::vector<std::shared_ptr<tobrin::platform::MemoryDevice>> devices_;
    ContextPtr context_;
};

TEST_F(FatScan, WalksLiveAndDeletedFolders) {
    const auto lines = scan(fat16_tree().bytes());
    ASSERT_EQ(context_->kind, FsKind::fat16);
    const std::vector<std::string> expected = {
        "_SUM\xC3\xA9.TXT|C:\\DOCS\\|7|4/4/2009 13:18:42|0|100%",
        "_ILE.TXT|C:\\|100|4/4/2009 13:7:42|1|100%",
        "A long file name.bin|C:\\|10000|4/4/2009 13:18:42|2|60%",
        "_OO.C|C:\\|5|4/4/2009 13:18:42|3|100%",
        "INNER.TXT|C:\\_NE\\|10|4/4/2009 13:18:42|4|100%",
        "_ONE.TXT|C:\\_NE\\|10|4/4/2009 13:18:42|5|100%",
        "DEEP.TXT|C:\\_NE\\SUB\\|10|4/4/2009 13:18:42|6|100%",
        "_OOPED.TXT|C:\\LOOP\\|10|4/4/2009 13:18:42|7|100%",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(QueryFileCoverageRate(context_.get(), 2), 40);
    const FatEntry& entry = context_->fat().entries[1];
    EXPECT_EQ(entry.path, "C:\\_ILE.TXT");
    EXPECT_EQ(entry.first_cluster, 10u);
}

TEST_F(FatScan, ExtractsFromTheFirstCluster) {
    scan(fat16_tree().bytes());
    std::uint64_t bytes = 0;
    void* small = GetFileClusters(context_.get(), 1, 1, 0, &bytes);
    ASSERT_TRUE(small);
    EXPECT_EQ(bytes, 100u);
    const ByteVector content = pattern(100, 4);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), static_cast<std::uint8_t*>(small)));
    ReleaseFileBuffer(small);
    void* two = GetFileClusters(context_.get(), 2, 2, 0, &bytes);
    ASSERT_TRUE(two);
    EXPECT_EQ(bytes, 4096u);
    ReleaseFileBuffer(two);

    ASSERT_EQ(RecoverFile(context_.get(), 2, target("2_long").c_str(), nullptr), 1);
    EXPECT_EQ(read_all(target("2_long")), pattern(10000, 9));
    ASSERT_EQ(RecoverFile(context_.get(), 1, target("1_small").c_str(), nullptr), 1);
    EXPECT_EQ(read_all(target("1_small")), pattern(100, 4));

    const auto stop = [](std::int32_t) -> std::int32_t { return 0; };
    ASSERT_EQ(RecoverFile(context_.get(), 2, target("2_stopped").c_str(), stop), 1);
    EXPECT_EQ(read_all(target("2_stopped")).size(), 2048u);
    ASSERT_EQ(RecoverFile(context_.get(), 1, target("1_unstoppable").c_str(), stop), 1);
    EXPECT_EQ(read_all(target("1_unstoppable")), pattern(100, 4));
}

TEST_F(FatScan, ExactlyOneClusterReadsWhole) {
    FatImage image(false, 5000, 4);
    image.entries(image.root_offset(), {deleted(short_entry("ONE     BIN", kArchive, 9, 2048))});
    ASSERT_EQ(scan(image.bytes()).size(), 1u);
    std::uint64_t bytes = 0;
    void* buffer = GetFileClusters(context_.get(), 0, 1, 0, &bytes);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(bytes, 2048u);
    ReleaseFileBuffer(buffer);
}

TEST_F(FatScan, FailedReadsAreReportedByRecover) {
    scan(fat16_tree().bytes());
    const auto& g = context_->fat().geometry;
    devices_[0]->fail_reads(*g.cluster_offset(10), 2048);
    devices_[0]->fail_reads(*g.cluster_offset(32), 2048);
    EXPECT_EQ(RecoverFile(context_.get(), 1, target("1_small").c_str(), nullptr), 0);
    EXPECT_TRUE(std::filesystem::exists(target("1_small")));
    EXPECT_EQ(RecoverFile(context_.get(), 2, target("2_long").c_str(), nullptr), 0);
    EXPECT_EQ(std::filesystem::file_size(target("2_long")), 4096u);
    std::uint64_t bytes = 5;
    EXPECT_EQ(GetFileClusters(context_.get(), 1, 1, 1, &bytes), nullptr);
    EXPECT_EQ(bytes, 5u);
}

TEST_F(FatScan, ScanCallbackStopsEveryDepth) {
    devices_ = mount({fat16_tree().bytes()});
    context_.reset(InitVolumeInfo("C:"));
    LineSink::reset(1);
    EXPECT_EQ(ScanVolume(context_.get(), LineSink::take), 1);
    EXPECT_EQ(LineSink::lines.size(), 1u);
    EXPECT_EQ(context_->fat().entries.size(), 1u);
}

TEST_F(FatScan, Fat32RootFollowsItsChain) {
    FatImage image(true, 70000, 1);
    image.chain({2, 7});
    image.entries(image.root_offset(),
                  std::vector<ByteVector>(16, short_entry("KEEP    TXT", kArchive, 20, 3)));
    image.entries(image.cluster_offset(7), {deleted(short_entry("SECOND  TXT", kArchive, 21, 3))});
    const auto lines = scan(image.bytes());
    EXPECT_EQ(context_->kind, FsKind::fat32);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("_ECOND.TXT|C:\\|3|"));
    EXPECT_TRUE(context_->fat().visited.contains(7));
}

TEST(FatEntryCheck, Bounds) {
    FatImage image(false, 5000, 4);
    auto geometry = FatGeometry::decode(image.bytes(), FsKind::fat16, image.bytes().size());
    ASSERT_TRUE(geometry);
    struct Case {
        const char* what;
        ByteVector entry;
        bool passes;
    };
    ByteVector bad_lfn = long_name_entries(u"x")[0];
    bad_lfn[26] = 1;
    const Case cases[] = {
        {"plain", short_entry("A       TXT", kArchive, 5, 1), true},
        {"bit 0x40", short_entry("A       TXT", 0x40, 5, 1), false},
        {"long-name part", long_name_entries(u"x")[0], true},
        {"long-name part with a cluster", bad_lfn, false},
        {"size at 0x80000000", short_entry("A       TXT", kArchive, 5, 0x80000000), true},
        {"size above 0x80000000", short_entry("A       TXT", kArchive, 5, 0x80000001), false},
        {"second 58", short_entry("A       TXT", kArchive, 5, 1, {dos_time(1, 1, 58), 0x3A84}),
         true},
        {"second 60", short_entry("A       TXT", kArchive, 5, 1, {dos_time(1, 1, 60), 0x3A84}),
         false},
        {"minute 60", short_entry("A       TXT", kArchive, 5, 1, {dos_time(1, 60, 0), 0x3A84}),
         false},
        {"day 0", short_entry("A       TXT", kArchive, 5, 1, {0, 0x3A80}), false},
        {"cluster past the volume", short_entry("A       TXT", kArchive, 0xFFFF, 1), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(passes_entry_check(c.entry, *geometry), c.passes) << c.what;
}

TEST(FatShortName, AsStoredWithTheOemCodePage) {
    EXPECT_EQ(short_name(short_entry("FOO     C  ", 0, 0, 0)), "FOO.C");
    EXPECT_EQ(short_name(short_entry("README     ", 0, 0, 0)), "README");
    EXPECT_EQ(short_name(deleted(short_entry("ABCDEFGHTXT", 0, 0, 0))), "_BCDEFGH.TXT");
    EXPECT_EQ(short_name(short_entry("R\x82SUM\x82  TXT", 0, 0, 0)), "R\xC3\xA9SUM\xC3\xA9.TXT");
}

// Chains that loop, hit the bad-cluster mark or leave the volume end cleanly.
TEST(FatChain, EndsAtLoopsBadClustersAndTheVolumeEnd) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> links;
        std::vector<std::uint32_t> chain;
    };
    const Case cases[] = {
        {"end mark", {{5, 6}, {6, 0xFFFF}}, {5, 6}},
        {"loop", {{5, 6}, {6, 7}, {7, 5}}, {5, 6, 7}},
        {"self loop", {{5, 5}}, {5}},
        {"bad cluster", {{5, 6}, {6, 0xFFF7}}, {5, 6}},
        {"beyond the volume", {{5, 0xF000}}, {5, 0xF000}},
        {"free entry", {{5, 0}}, {5, 0}},
    };
    for (const Case& c : cases) {
        FatImage image(false, 5000, 4);
        for (auto [from, to] : c.links) image.fat(from, to);
        mount({image.bytes()});
        ContextPtr context(InitVolumeInfo("C:"));
        ASSERT_TRUE(context);
        const auto& fat = context->fat();
        EXPECT_EQ(cluster_chain(*context->volume, fat.geometry, 5), c.chain) << c.what;
    }
}

// Damaged volumes: the scan ends and reports what it can.
TEST_F(FatScan, CorruptVolumesEndCleanly) {
    struct Case {
        const char* what;
        void (*spoil)(FatImage&);
    };
    const Case cases[] = {
        {"long-name run to the end of a folder",
         [](FatImage& i) {
             std::vector<ByteVector> parts(62, long_name_entries(u"abcdefghijklm")[0]);
             i.folder(60, 0, parts);
             i.entries(i.root_offset() + 32, {short_entry("EDGE       ", kDir, 60, 0)});
         }},
        {"folder looping into its parent",
         [](FatImage& i) {
             i.folder(60, 0, {short_entry("UP         ", kDir, 3, 0)});
             i.entries(i.root_offset() + 32, {short_entry("EDGE       ", kDir, 60, 0)});
         }},
        {"folder chain past the FAT",
         [](FatImage& i) {
             i.folder(60, 0, {});
             i.fat(60, 0xFFF0);
             i.entries(i.root_offset() + 32, {short_entry("EDGE       ", kDir, 60, 0)});
         }},
        {"deleted file running off the volume",
         [](FatImage& i) {
             i.entries(i.root_offset() + 32,
                       {deleted(short_entry("TAIL    BIN", kArchive, 4999, 100000))});
         }},
        {"truncated image", [](FatImage& i) { i.bytes().resize(i.bytes().size() / 2); }},
    };
    for (const Case& c : cases) {
        FatImage image(false, 5000, 4);
        image.entries(image.root_offset(), {short_entry("DOCS       ", kDir, 3, 0)});
        image.folder(3, 0, {deleted(short_entry("SOUND   TXT", kArchive, 11, 7))});
        c.spoil(image);
        LineSink::reset();
        const auto lines = scan(image.bytes());
        ASSERT_GE(lines.size(), 1u) << c.what;
        EXPECT_TRUE(lines[0].starts_with("_OUND.TXT|C:\\DOCS\\|7|")) << c.what;
        for (std::uint32_t i = 0; i < lines.size(); ++i) {
            RecoverFile(context_.get(), i, target(c.what + std::to_string(i)).c_str(), nullptr);
            std::uint64_t bytes = 0;
            ReleaseFileBuffer(GetFileClusters(context_.get(), i, 1, 1, &bytes));
            EXPECT_LE(QueryFileCoverageRate(context_.get(), i), 100);
        }
    }
}

TEST_F(FatScan, ClustersOutsideTheBitmapCountAsTaken) {
    FatImage image(false, 5000, 4);
    image.entries(image.root_offset(),
                  {deleted(short_entry("TAIL    BIN", kArchive, 5000, 4 * 2048))});
    const auto lines = scan(image.bytes());
    ASSERT_EQ(lines.size(), 1u);
    // Clusters 5000 and 5001 exist and are free; 5002 and 5003 lie beyond the volume.
    EXPECT_EQ(QueryFileCoverageRate(context_.get(), 0), 50);
}

}  // namespace
}  // namespace volscan
