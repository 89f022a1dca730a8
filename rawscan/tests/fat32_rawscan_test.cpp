#include "fat32_rawscan.h"

#include <gtest/gtest.h>

#include "rawscan.h"
#include "sample_images.h"

namespace rawscan::fat32 {
namespace {

using namespace rawscan::testing;
using tobrin::platform::use_disks;

class Fat32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        tobrin::platform::system_settings() = {};
        lines().clear();
    }
    // The image as partition 0 of an MBR disk, prepared through the engine itself.
    void prepare(FatImage& img) {
        use_disks({memory_disk(mbr_disk(img.bytes(), 0x0C), false)});
        ASSERT_EQ(engine_.Prepare(0, "C:\\", &start_, &length_), 1);
    }
    CRawscan engine_;
    std::uint64_t start_ = 2048 * 512;
    std::uint64_t length_ = std::uint64_t{FatImage::kSectors} * 512;
};

TEST_F(Fat32Test, IntactPartition) {
    FatImage img = sample_fat();
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_EQ(lines(), kSampleLines);
    EXPECT_EQ(engine_.flags(),
              kBootValid | kBackupValid | kFat1Found | kFat2Found | kDataStartKnown);
    EXPECT_EQ(engine_.fat_size(), FatImage::kFatSize);
    EXPECT_EQ(engine_.data_start(), FatImage::kDataStart);
    EXPECT_EQ(engine_.fat_in_use(), FatImage::kReserved);
}

TEST_F(Fat32Test, LoopingChainEnds) {
    FatImage img = sample_fat();
    prepare(img);
    engine_.Scan(nullptr);
    EXPECT_EQ(engine_.cluster_list(50, 5000, CRawscan::ListMode::live_file),
              (std::vector<std::uint32_t>{50, 51}));
    img.link(51, FatImage::kSectors);  // past the partition
    prepare(img);
    engine_.Scan(nullptr);
    EXPECT_EQ(engine_.cluster_list(50, 5000, CRawscan::ListMode::live_file),
              (std::vector<std::uint32_t>{50, 51}));
}

TEST_F(Fat32Test, BothBootSectorsZeroed) {
    FatImage img = sample_fat();
    img.zero_sector(0);
    img.zero_sector(6);
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_EQ(lines(), kSampleLines);
    // Cluster size from the size table, corrected from the FAT size found by search.
    EXPECT_EQ(engine_.flags(), kFat1Found | kFat2Found | kDataStartKnown);
    EXPECT_EQ(engine_.cluster_size(), 512u);
    EXPECT_EQ(engine_.fat_size(), FatImage::kFatSize);
    EXPECT_EQ(engine_.data_start(), FatImage::kDataStart);
}

TEST_F(Fat32Test, WithoutAnyFatEverythingIsDeletedAndContiguous) {
    FatImage img = sample_fat();
    img.zero_sector(0);
    img.zero_sector(6);
    img.zero_sector(FatImage::kReserved);
    img.zero_sector(FatImage::kFat2);
    prepare(img);
    EXPECT_EQ(engine_.Scan(keep_line), 1);
    EXPECT_TRUE(engine_.flags() & kFat1Missing);
    EXPECT_FALSE(engine_.fat_in_use());
    EXPECT_EQ(engine_.data_start(), FatImage::kDataStart);
    ASSERT_EQ(lines().size(), kSampleLines.size());
    for (const std::string& line : lines()) EXPECT_TRUE(line.ends_with("|1")) << line;
    EXPECT_EQ(engine_.cluster_list(10, 600, CRawscan::ListMode::live_file),
              (std::vector<std::uint32_t>{10, 11}));
}

TEST_F(Fat32Test, StopAtFirstLineEndsTheScan) {
    FatImage img = sample_fat();
    prepare(img);
    EXPECT_EQ(engine_.Scan(stop_at_first_line), 1);
    EXPECT_EQ(lines().size(), 1u);
    EXPECT_EQ(engine_.Scan(keep_line), 1);  // no new Prepare: nothing more
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(Fat32Test, UnreadableBootSectorFailsPrepare) {
    FatImage img = sample_fat();
    auto device = std::make_shared<tobrin::platform::MemoryDevice>(mbr_disk(img.bytes(), 0x0C));
    device->fail_reads(start_ + 6 * 512, 512);
    tobrin::platform::DiskSource source;
    source.path = "memory";
    source.device = device;
    source.removable = false;
    use_disks({source});
    EXPECT_EQ(engine_.Prepare(0, "C:\\", &start_, &length_), 0);
    EXPECT_EQ(engine_.Scan(keep_line), 0);
    EXPECT_EQ(engine_.Prepare(1, "C:\\", &start_, &length_), 0);
}

TEST_F(Fat32Test, ThroughThePlainExports) {
    FatImage img = sample_fat();
    use_disks({memory_disk(mbr_disk(img.bytes(), 0x0C), false)});
    void* ctx = InitRawRecovery(keep_list);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(PrepareRawRecovery(ctx, 0), 1);
    EXPECT_EQ(ScanRawPartition(ctx, 0, keep_line), 1);
    EXPECT_EQ(lines(), kSampleLines);
    EXPECT_EQ(ScanRawPartition(ctx, 1, keep_line), 0);
    ReleaseRawRecovery(ctx);
}

TEST_F(Fat32Test, ThroughTheExFamily) {
    FatImage img = sample_fat();
    use_disks({memory_disk(mbr_disk(img.bytes(), 0x0C), false),
               memory_disk(mbr_disk(img.bytes(), 0x0C), false)});
    void* m = InitRawRecoveryEx(keep_list);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(PrepareRawRecoveryEx(m, "1|7|1000|x"), 1);
    EXPECT_EQ(ScanRawPartitionEx(m, keep_line, 0, nullptr), 0);
    EXPECT_EQ(ScanRawPartitionEx(m, keep_line, 3, nullptr), 0);
    EXPECT_EQ(ScanRawPartitionEx(m, nullptr, 1, nullptr), 0);
    EXPECT_EQ(ScanRawPartitionEx(m, keep_line, 0, "0"), 1);  // not prepared: nothing
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(ScanRawPartitionEx(m, keep_line, 0, "0|1"), 1);
    ASSERT_EQ(lines().size(), kSampleLines.size());
    for (std::size_t i = 0; i < lines().size(); ++i) {
        std::string expected = kSampleLines[i];
        expected.replace(expected.find("C:"), 2, "D:");  // partition 1 is the second disk's
        EXPECT_EQ(lines()[i], expected);
    }
    // Preparing again leaves the engine and its results alone.
    EXPECT_EQ(PrepareRawRecoveryEx(m, "1|0"), 1);
    std::uint64_t size = 0;
    void* buffer = GetRawFileClusterEx(m, 1, 1, 1, 0, &size);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 512u);
    EXPECT_EQ(std::string(static_cast<char*>(buffer), 5), "hello");
    ReleaseRawFileBuffer(buffer);
    EXPECT_EQ(GetRawFileClusterEx(m, 0, 1, 1, 0, &size), nullptr);  // prepared, not scanned
    EXPECT_EQ(GetRawFileClusterEx(m, 2, 0, 1, 0, &size), nullptr);
    EXPECT_EQ(ReleaseRawRecoveryEx(m), 1);
    EXPECT_EQ(ReleaseRawRecoveryEx(nullptr), 1);
    EXPECT_EQ(PrepareRawRecoveryEx(nullptr, "0"), 0);
}

}  // namespace
}  // namespace rawscan::fat32
