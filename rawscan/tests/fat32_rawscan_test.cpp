#include "fat32_rawscan.h"

#include <gtest/gtest.h>

#include "rawscan.h"
#include "test_images.h"

namespace rawscan::fat32 {
namespace {

using namespace rawscan::testing;
using tobrin::platform::use_disks;

constexpr const char* kTime = "4/3/2008 10:15:36";

// Root: a long-named file over a two-cluster chain, a live file, a deleted file, a
// folder, a deleted folder, a deleted "folder" whose cluster is not one, and a
// second entry for the first folder.
FatImage sample_fat() {
    FatImage img;
    std::uint32_t slot = img.long_name(2, 0, u"Long file name.txt");
    img.entry(2, slot++, "LONGFI~1TXT", 0x20, 10, 600);
    img.chain(10, 2);
    img.fill_cluster(10, std::string(512, 'a'));
    img.fill_cluster(11, std::string(88, 'b'));
    img.entry(2, slot++, "README  TXT", 0x20, 12, 5);
    img.chain(12, 1);
    img.fill_cluster(12, "hello");
    img.entry(2, slot++,
              "\xE5"
              "ELETED TXT",
              0x20, 13, 700);
    img.fill_cluster(13, std::string(512, 'c'));
    img.fill_cluster(14, std::string(188, 'd'));
    img.entry(2, slot++, "DIR        ", 0x10, 20, 0);
    img.chain(20, 1);
    img.dots(20, 0);
    img.entry(20, 2, "INNER   BIN", 0x20, 21, 3);
    img.chain(21, 1);
    img.fill_cluster(21, "xyz");
    img.entry(2, slot++,
              "\xE5"
              "OLD       ",
              0x10, 30, 0);
    img.dots(30, 0);
    img.entry(30, 2, "LOST    TXT", 0x20, 31, 4);
    img.fill_cluster(31, "lost");
    img.entry(2, slot++,
              "\xE5"
              "BAD       ",
              0x10, 40, 0);
    img.fill_cluster(40, "not a folder");
    img.entry(2, slot++, "TWICE      ", 0x10, 20, 0);
    img.entry(2, slot++, "EMPTY   TXT", 0x20, 0, 0);
    img.entry(2, slot++, "LOOP    BIN", 0x20, 50, 5000);
    img.link(50, 51);
    img.link(51, 50);
    return img;
}

const std::vector<std::string> kSampleLines = {
    std::string("Long file name.txt|C:\\|600|") + kTime + "|0|0",
    std::string("README.TXT|C:\\|5|") + kTime + "|1|0",
    std::string("_ELETED.TXT|C:\\|700|") + kTime + "|2|1",
    std::string("INNER.BIN|C:\\DIR\\|3|") + kTime + "|3|0",
    std::string("LOST.TXT|C:\\_OLD\\|4|") + kTime + "|4|1",
    std::string("EMPTY.TXT|C:\\|0|") + kTime + "|5|0",
    std::string("LOOP.BIN|C:\\|5000|") + kTime + "|6|0",
};

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
