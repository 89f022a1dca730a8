#include "ntfs_rawscan.h"

#include <gtest/gtest.h>

#include "rawscan.h"
#include "sample_images.h"

namespace rawscan::ntfs {
namespace {

using namespace rawscan::testing;
using tobrin::platform::use_disks;

class NtfsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tobrin::platform::system_settings() = {};
        lines().clear();
    }
    void prepare(NtfsImage& img) {
        use_disks({memory_disk(mbr_disk(img.bytes(), 0x07), false)});
        ASSERT_EQ(engine_.Prepare(0, "C:\\", &start_, &length_), 1);
    }
    CRawscan engine_;
    std::uint64_t start_ = 2048 * 512;
    std::uint64_t length_ = NtfsImage::kBytes;
};

TEST_F(NtfsTest, IntactPartition) {
    NtfsImage img = sample_ntfs();
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_EQ(lines(), ntfs_sample_lines());
    EXPECT_EQ(engine_.flags(), kBootValid | kBackupValid | kMftFound | kMftRunsUsable);
    EXPECT_EQ(engine_.cluster_size(), 512u);
    EXPECT_EQ(engine_.record_size(), 1024u);
}

// The walk reads the MFT in blocks; a record it cannot read is lost alone.
TEST_F(NtfsTest, UnreadableRecordCostsOnlyItself) {
    NtfsImage img = sample_ntfs();
    auto disk = memory_disk(mbr_disk(img.bytes(), 0x07), false);
    const std::uint64_t record_18 = start_ + NtfsImage::kMftByte + 18 * img.record_size();
    std::static_pointer_cast<tobrin::platform::MemoryDevice>(disk.device)
        ->fail_reads(record_18, img.record_size());
    use_disks({disk});
    ASSERT_EQ(engine_.Prepare(0, "C:\\", &start_, &length_), 1);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    std::vector<std::string> names, expected;
    for (const std::string& line : lines()) names.push_back(line.substr(0, line.find('|')));
    for (const std::string& line : ntfs_sample_lines()) {
        const std::string name = line.substr(0, line.find('|'));
        if (name != "gone.txt") expected.push_back(name);
    }
    EXPECT_EQ(names, expected);
}

TEST_F(NtfsTest, BootSectorZeroedUsesTheBackup) {
    NtfsImage img = sample_ntfs();
    img.zero_sector(0);
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_EQ(lines(), ntfs_sample_lines());
    EXPECT_EQ(engine_.flags() & 0xF, kBackupValid);
}

TEST_F(NtfsTest, BothBootSectorsZeroedFindsTheMftBySearch) {
    NtfsImage img = sample_ntfs();
    img.zero_sector(0);
    img.zero_sector(img.sectors() - 1);
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_EQ(lines(), ntfs_sample_lines());
    EXPECT_EQ(engine_.flags(),
              kClusterSizeEstimated | kRecordSizeEstimated | kMftFound | kMftRunsUsable);
}

// Disks with 4096-byte sectors hold one record per sector; the walk steps one sector.
TEST_F(NtfsTest, FourKilobyteSectors) {
    for (const bool boots : {true, false}) {
        NtfsImage img = sample_ntfs(4096);
        if (!boots) {
            img.zero_sector(0);
            img.zero_sector(img.sectors() - 1);
        }
        use_disks({memory_disk(img.bytes(), true, 4096)});
        const std::uint64_t start = 0;
        ASSERT_EQ(engine_.Prepare(0, "C:\\", &start, &length_), 1);
        lines().clear();
        EXPECT_EQ(engine_.Scan(keep_line), 1);
        EXPECT_EQ(lines(), ntfs_sample_lines(64 * 4096)) << boots;
        EXPECT_EQ(engine_.record_size(), 4096u);
        ASSERT_EQ(engine_.files().size(), 9u);
        std::uint64_t size = 0;
        void* buffer = engine_.GetClusters(8, 0, 1, &size);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(size, 2 * 4096u);
        EXPECT_EQ(static_cast<char*>(buffer)[4096], 'q');
        ReleaseRawFileBuffer(buffer);
    }
}

TEST_F(NtfsTest, UnusableRunsFallBackToTheZoneWalk) {
    NtfsImage img = sample_ntfs();
    // $MFT's runs now point past the partition: the walk covers the MFT zone instead.
    img.record(0, RecordBuilder(0, 1, 1)
                      .standard_information(0x6)
                      .file_name(reference(5, 5), u"$MFT", 3, 0x6)
                      .non_resident(0x80, {0x22, 0x80, 0x00, 0x00, 0x40, 0x00}, 128, 512, 65536)
                      .build());
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_EQ(engine_.flags() & kMftRunsUsable, 0u);
    EXPECT_EQ(lines(), ntfs_sample_lines());
}

TEST_F(NtfsTest, NothingFoundReportsNothing) {
    NtfsImage img;
    std::fill(img.bytes().begin(), img.bytes().end(), 0);
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_TRUE(lines().empty());
}

TEST_F(NtfsTest, StopAtFirstLine) {
    NtfsImage img = sample_ntfs();
    prepare(img);
    EXPECT_EQ(engine_.Scan(stop_at_first_line), 1);
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(NtfsTest, UnpreparedEngine) {
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(engine_.Recover(0, "/nonexistent/x", nullptr), 0);
    std::uint64_t size = 1;
    EXPECT_EQ(engine_.GetClusters(0, 1, 0, &size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST_F(NtfsTest, SecondPrepareThroughThePlainFamilyDiscardsTheFirstResults) {
    NtfsImage first = sample_ntfs();
    NtfsImage second;
    second.file(16, reference(5, 5), u"only.txt", "1");
    use_disks({memory_disk(mbr_disk(first.bytes(), 0x07), false),
               memory_disk(mbr_disk(second.bytes(), 0x07), false)});
    void* ctx = InitRawRecovery(keep_list);
    ASSERT_EQ(PrepareRawRecovery(ctx, 0), 1);
    ScanRawPartition(ctx, 0, keep_line);
    EXPECT_EQ(lines().size(), 9u);
    lines().clear();
    ASSERT_EQ(PrepareRawRecovery(ctx, 1), 1);
    std::uint64_t size = 0;
    EXPECT_EQ(GetRawFileCluster(ctx, 0, 1, 1, 0, &size), nullptr);  // results are gone
    ScanRawPartition(ctx, 0, keep_line);  // answers for the partition prepared last
    ASSERT_EQ(lines().size(), 2u);
    EXPECT_TRUE(lines()[1].starts_with("only.txt|D:\\|1|"));
    ReleaseRawRecovery(ctx);
}

}  // namespace
}  // namespace rawscan::ntfs
