#include "partition_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "boot_sectors.h"
#include "disk_builder.h"
#include "rawscan.h"
#include "test_images.h"

namespace rawscan {
namespace {

using tobrin::platform::system_settings;
using tobrin::platform::use_disks;
using tobrin::testing::DiskBuilder;
using namespace rawscan::testing;

class PartitionTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        system_settings() = {};
        partition_list().clear();
    }
    void TearDown() override { system_settings() = {}; }
};

// p1 NTFS, an extended partition with three logical drives, p3 FAT32, p4 type 0x87.
std::vector<std::uint8_t> layered_disk() {
    DiskBuilder d(2048);
    d.entry(0, 0, 0x07, 64, 64);
    d.entry(0, 1, 0x05, 256, 512);
    d.entry(0, 2, 0x0C, 1024, 64);
    d.entry(0, 3, 0x87, 1200, 64);
    // EBRs at 256, 384 and 512 (relative links 128 and 256 from the base).
    d.entry(256, 0, 0x0B, 32, 32).entry(256, 1, 0x05, 128, 128);
    d.entry(384, 0, 0x06, 32, 48).entry(384, 1, 0x05, 256, 128);
    d.entry(512, 0, 0x07, 32, 64);
    return d.bytes();
}

TEST_F(PartitionTableTest, OrdinalsFollowTheWalkAndUnletteredPartitionsAreNil) {
    use_disks({memory_disk(layered_disk(), false)});
    void* ctx = InitRawRecovery(keep_list);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(partition_list(),
              "1|0|C:\\|32768|0|7|0|D:\\|16384|1|11|0|E:\\|24576|2|6|0|F:\\|32768|3|7"
              "|0|G:\\|32768|4|12|0|NIL|32768|5|0");
    EXPECT_EQ(PrepareRawRecovery(ctx, 5), 0);  // type 0 selects no engine
    EXPECT_EQ(PrepareRawRecovery(ctx, 6), 0);  // out of range
    EXPECT_EQ(ReleaseRawRecovery(ctx), 1);
    EXPECT_EQ(ReleaseRawRecovery(nullptr), 0);
}

TEST_F(PartitionTableTest, LogicalStartsAddTheirEbr) {
    use_disks({memory_disk(layered_disk(), false)});
    const auto entries = read_disk_partitions(0);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[1].start, (256 + 32) * 512u);
    EXPECT_EQ(entries[2].start, (384 + 32) * 512u);
    EXPECT_EQ(entries[3].start, (512 + 32) * 512u);
    EXPECT_EQ(entries[4].ordinal, 5u);
}

TEST_F(PartitionTableTest, LoopingEbrChainEnds) {
    DiskBuilder d(1024);
    d.entry(0, 0, 0x05, 100, 400);
    d.entry(100, 0, 0x0B, 10, 20).entry(100, 1, 0x05, 50, 100);
    d.entry(150, 0, 0x0B, 10, 20).entry(150, 1, 0x05, 0, 100);  // back to the first EBR
    use_disks({memory_disk(d.bytes(), false)});
    const auto entries = read_disk_partitions(0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].start, 160 * 512u);
}

TEST_F(PartitionTableTest, DiskWithoutSignature) {
    DiskBuilder d(256);
    d.entry(0, 0, 0x07, 64, 64);
    auto bytes = d.bytes();
    bytes[510] = 0;
    use_disks({memory_disk(bytes, false)});
    EXPECT_TRUE(read_disk_partitions(0).empty());
    ReleaseRawRecovery(InitRawRecovery(keep_list));
    EXPECT_EQ(partition_list(), "1");

    // Removable media with a table that is not valid are taken whole.
    bytes[446 + 4] = 0x99;
    use_disks({memory_disk(bytes, true)});
    const auto entries = read_disk_partitions(0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].flags, kFlagRemovable | kFlagWholeDisk);
    EXPECT_EQ(entries[0].length, 256 * 512u);
}

TEST_F(PartitionTableTest, SuperfloppyFat32IsOneRemovablePartition) {
    FatImage fat;
    use_disks({memory_disk(fat.bytes())});
    const auto table = enumerate_partitions();
    ASSERT_TRUE(table);
    ASSERT_EQ(table->records.size(), 1u);
    const PartitionRecord& r = table->records[0];
    EXPECT_STREQ(r.root, "C:\\");
    EXPECT_EQ(r.flags, kFlagRemovable | kFlagWholeDisk);
    EXPECT_EQ(r.type, kTypeFat32);  // taken again from the boot sector
    EXPECT_EQ(r.start, 0u);
}

TEST_F(PartitionTableTest, TwoDisks) {
    DiskBuilder d(256);
    d.entry(0, 0, 0x0C, 64, 64);
    use_disks({memory_disk(layered_disk(), false), memory_disk(d.bytes(), false)});
    ReleaseRawRecovery(InitRawRecovery(keep_list));
    EXPECT_TRUE(partition_list().starts_with("2|0|C:\\|"));
    EXPECT_TRUE(partition_list().ends_with("|0|NIL|32768|5|0|1|H:\\|32768|6|12"));
}

TEST_F(PartitionTableTest, UnreadableDiskCount) {
    use_disks({memory_disk(layered_disk(), false)});
    system_settings().disk_count_readable = false;
    partition_list() = "untouched";
    void* ctx = InitRawRecovery(keep_list);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(partition_list(), "untouched");
    EXPECT_EQ(PrepareRawRecovery(ctx, 0), 0);
    ReleaseRawRecovery(ctx);
    EXPECT_EQ(InitRawRecoveryEx(keep_list), nullptr);
    EXPECT_EQ(InitRawRecovery(nullptr), nullptr);
}

TEST_F(PartitionTableTest, OldSystemsComputeDiskSizeFromGeometry) {
    system_settings().os = {5, 0};
    DiskBuilder d(300);  // 300 sectors: less than one cylinder of 255 x 63
    d.entry(0, 0, 0x07, 64, 64);
    auto bytes = d.bytes();
    bytes[446 + 4] = 0x99;  // invalid table on removable media: whole disk
    use_disks({memory_disk(bytes, true)});
    const auto entries = read_disk_partitions(0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].length, 0u);
}

struct MbrCase {
    const char* name;
    std::vector<std::array<std::uint32_t, 3>> entries;  // type, start, count
    bool valid;
};

TEST(MbrValidation, Table) {
    const std::vector<MbrCase> cases = {
        {"empty", {}, false},
        {"one ntfs", {{7, 64, 64}}, true},
        {"extended", {{5, 64, 64}}, true},
        {"unknown type", {{0x99, 64, 64}}, false},
        {"count past disk", {{7, 64, 1001}}, false},
        {"start at disk end", {{7, 1000, 0}, {7, 1000, 1}}, true},
        {"overlap below last sector", {{7, 64, 64}, {7, 126, 10}}, false},
        {"starts on last sector", {{7, 64, 64}, {7, 127, 10}}, true},
    };
    for (const MbrCase& c : cases) {
        std::vector<std::uint8_t> sector(512, 0);
        for (std::size_t i = 0; i < c.entries.size(); ++i) {
            sector[446 + 16 * i + 4] = static_cast<std::uint8_t>(c.entries[i][0]);
            put32(sector, 446 + 16 * i + 8, c.entries[i][1]);
            put32(sector, 446 + 16 * i + 12, c.entries[i][2]);
        }
        EXPECT_EQ(mbr_table_valid(sector, 512, 1000 * 512), c.valid) << c.name;
    }
}

TEST(AcceptedTypes, Table) {
    for (int t = 0; t < 256; ++t) {
        const auto type = static_cast<std::uint8_t>(t);
        const bool expected = t == 1 || t == 4 || t == 6 || t == 7 || t == 11 || t == 12 ||
                              t == 14 || t == 0x86 || t == 0x87 || t == 0x8B || t == 0x8C ||
                              t == 0xC6 || t == 0xC7 || t == 0xCB || t == 0xCC;
        EXPECT_EQ(accepted_partition_type(type), expected) << t;
    }
}

std::vector<std::uint8_t> fat_boot(std::uint32_t total32, std::uint16_t total16,
                                   std::uint16_t root_entries, std::uint16_t fat16,
                                   std::uint32_t fat32) {
    std::vector<std::uint8_t> s(512, 0);
    s[0] = 0xEB;
    put16(s, 11, 512);
    s[13] = 1;
    put16(s, 14, 32);
    s[16] = 2;
    put16(s, 17, root_entries);
    put16(s, 19, total16);
    s[21] = 0xF8;
    put16(s, 22, fat16);
    put32(s, 32, total32);
    put32(s, 36, fat32);
    return s;
}

TEST(FatClassification, Table) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> sector;
        std::uint64_t partition_sectors;
        FatKind kind;
    };
    auto bad_jump = fat_boot(100000, 0, 0, 0, 800);
    bad_jump[0] = 0x00;
    auto bad_media = fat_boot(100000, 0, 0, 0, 800);
    bad_media[21] = 0xF1;
    auto odd_cluster = fat_boot(100000, 0, 0, 0, 800);
    odd_cluster[13] = 3;
    const std::vector<Case> cases = {
        {"fat32", fat_boot(100000, 0, 0, 0, 800), 100000, FatKind::fat32},
        {"length differs", fat_boot(100000, 0, 0, 0, 800), 100001, FatKind::none},
        {"fat16 by 16-bit total", fat_boot(0, 40000, 512, 160, 0), 40000, FatKind::fat16},
        {"fat12", fat_boot(0, 4000, 224, 12, 0), 4000, FatKind::fat12},
        {"fat16 size without root entries", fat_boot(0, 40000, 0, 160, 0), 40000, FatKind::none},
        {"metadata past total", fat_boot(1000, 0, 0, 0, 800), 1000, FatKind::none},
        {"bad jump", bad_jump, 100000, FatKind::none},
        {"bad media", bad_media, 100000, FatKind::none},
        {"cluster factor 3", odd_cluster, 100000, FatKind::none},
        {"short buffer", std::vector<std::uint8_t>(100, 0xEB), 100000, FatKind::none},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(classify_fat_boot_sector(c.sector, c.partition_sectors), c.kind) << c.name;
    }
}

// A removable disk of 3 GiB holding one partition, kept sparse on disk.
class LargeRemovableTest : public PartitionTableTest {
  protected:
    void write_disk(bool ntfs_boot) {
        path_ = ::testing::TempDir() + "/rawscan_removable_" + std::to_string(::getpid()) + ".img";
        std::filesystem::remove(path_);
        std::ofstream out(path_, std::ios::binary);
        const std::uint64_t sectors = 3ull * 1024 * 1024 * 2;
        std::vector<std::uint8_t> mbr(512, 0);
        mbr[446 + 4] = 0x07;
        put32(mbr, 446 + 8, 2048);
        put32(mbr, 446 + 12, static_cast<std::uint32_t>(sectors - 2048));
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        out.write(reinterpret_cast<const char*>(mbr.data()), 512);
        if (ntfs_boot) {
            DiskBuilder boot(1);
            boot.ntfs_boot(0, sectors - 2048 - 1);
            const auto b = boot.bytes();
            out.seekp(2048 * 512);
            out.write(reinterpret_cast<const char*>(b.data()), 512);
        }
        out.seekp(sectors * 512 - 1);
        out.put(0);
    }
    void TearDown() override {
        std::filesystem::remove(path_);
        PartitionTableTest::TearDown();
    }
    std::string path_;
};

TEST_F(LargeRemovableTest, IntactNtfsKeepsItsType) {
    write_disk(true);
    tobrin::platform::DiskSource source;
    source.path = path_;
    source.removable = true;
    use_disks({source});
    const auto table = enumerate_partitions();
    ASSERT_TRUE(table && table->records.size() == 1);
    EXPECT_EQ(table->records[0].type, kTypeNtfs);
}

TEST_F(LargeRemovableTest, OtherwiseForcedToFat32) {
    write_disk(false);
    tobrin::platform::DiskSource source;
    source.path = path_;
    source.removable = true;
    use_disks({source});
    const auto table = enumerate_partitions();
    ASSERT_TRUE(table && table->records.size() == 1);
    EXPECT_EQ(table->records[0].type, kTypeFat32);
}

}  // namespace
}  // namespace rawscan
