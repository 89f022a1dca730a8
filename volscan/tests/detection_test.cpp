#include "detection.h"

#include <gtest/gtest.h>

#include "context.h"
#include "image_builders.h"

namespace volscan {
namespace {

using namespace volscan::testing;

ByteVector ntfs_boot(std::uint32_t sector_size = 512) {
    ByteVector b(sector_size < 512 ? 512 : sector_size);
    b[0] = 0xEB;
    std::memcpy(&b[3], "NTFS    ", 8);
    put16(b, 11, static_cast<std::uint16_t>(sector_size));
    b[13] = 8;
    b[21] = 0xF8;
    b[64] = 0xF6;
    b[68] = 1;
    return b;
}

// A boot sector whose geometry yields `clusters` data clusters (one sector each).
ByteVector fat_boot(std::uint32_t clusters, bool fat32) {
    ByteVector b(512);
    const std::uint32_t reserved = fat32 ? 32 : 4, root_entries = fat32 ? 0 : 512;
    const std::uint32_t fat_sectors = ((clusters + 2) * (fat32 ? 4 : 2) + 511) / 512;
    const std::uint32_t total = reserved + 2 * fat_sectors + root_entries / 16 + clusters;
    b[0] = 0xEB;
    put16(b, 11, 512);
    b[13] = 1;
    put16(b, 14, static_cast<std::uint16_t>(reserved));
    b[16] = 2;
    put16(b, 17, static_cast<std::uint16_t>(root_entries));
    b[21] = 0xF8;
    if (fat32) {
        put32(b, 36, fat_sectors);
    } else {
        put16(b, 22, static_cast<std::uint16_t>(fat_sectors));
    }
    put32(b, 32, total);
    return b;
}

TEST(NtfsTest, BootSectorFields) {
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
        bool passes;
    };
    const Case cases[] = {
        {"as formatted", 0, 0xEB, true},
        {"id", 6, 'X', false},
        {"byte 11", 11, 1, false},
        {"sector size differs", 12, 4, false},
        {"3 sectors per cluster", 13, 3, false},
        {"128 sectors per cluster", 13, 128, true},
        {"byte 14", 14, 1, false},
        {"byte 20", 20, 1, false},
        {"byte 21 (media)", 21, 0, true},
        {"byte 22", 22, 1, false},
        {"byte 35", 35, 1, false},
        {"record -9", 64, 0xF7, true},
        {"record -8", 64, 0xF8, false},
        {"record -31", 64, 0xE1, true},
        {"record -32", 64, 0xE0, false},
        {"record 64", 64, 64, true},
        {"record 3", 64, 3, false},
        {"record 0", 64, 0, false},
        {"index -8", 68, 0xF8, false},
        {"index 65", 68, 65, false},
        {"index 2", 68, 2, true},
    };
    for (const Case& c : cases) {
        ByteVector b = ntfs_boot();
        b[c.at] = c.value;
        EXPECT_EQ(passes_ntfs_test(b, 512), c.passes) << c.what;
    }
    EXPECT_TRUE(passes_ntfs_test(ntfs_boot(4096), 4096));
    EXPECT_TRUE(passes_ntfs_test(ntfs_boot(8192), 8192));
    ByteVector too_large = ntfs_boot();
    too_large[12] = 64;
    EXPECT_FALSE(passes_ntfs_test(too_large, 16384));
    EXPECT_FALSE(passes_ntfs_test(ByteVector(68), 512));
}

TEST(FatClassifier, ClusterCountBoundaries) {
    EXPECT_EQ(classify_fat(fat_boot(4084, false)), FatClass::none);
    EXPECT_EQ(classify_fat(fat_boot(4085, false)), FatClass::fat16);
    EXPECT_EQ(classify_fat(fat_boot(65524, false)), FatClass::fat16);
    EXPECT_EQ(classify_fat(fat_boot(65525, true)), FatClass::fat32);
}

TEST(FatClassifier, BiosParameterBlockFields) {
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
        FatClass result;
    };
    const Case cases[] = {
        {"jump 0xE9", 0, 0xE9, FatClass::fat16},
        {"jump 0x49", 0, 0x49, FatClass::fat16},
        {"no jump", 0, 0x00, FatClass::none},
        {"608-byte sectors", 11, 96, FatClass::none},
        {"3 sectors per cluster", 13, 3, FatClass::none},
        {"no reserved sectors", 14, 0, FatClass::none},
        {"no FATs", 16, 0, FatClass::none},
        {"no root entries", 17, 0, FatClass::none},
        {"media 0x00", 21, 0x00, FatClass::fat16},
        {"media 0x01", 21, 0x01, FatClass::fat16},
        {"media 0xF0", 21, 0xF0, FatClass::fat16},
        {"media 0xF1", 21, 0xF1, FatClass::none},
        {"media 0xF7", 21, 0xF7, FatClass::none},
    };
    for (const Case& c : cases) {
        ByteVector b = fat_boot(5000, false);
        b[c.at] = c.value;
        if (c.at == 17) b[18] = 0;
        EXPECT_EQ(classify_fat(b), c.result) << c.what;
    }
    ByteVector no_total = fat_boot(5000, false);
    put32(no_total, 32, 0);
    EXPECT_EQ(classify_fat(no_total), FatClass::none);
}

// The same boundaries through InitVolumeInfo on whole volumes.
TEST(Detection, KindsOfWholeVolumes) {
    struct Case {
        const char* what;
        bool fat32;
        std::uint32_t clusters;
        std::optional<FsKind> kind;
    };
    const Case cases[] = {
        {"FAT16 at 4085 clusters", false, 4085, FsKind::fat16},
        {"4084 clusters", false, 4084, std::nullopt},
        {"FAT32 at 65525 clusters", true, 65525, FsKind::fat32},
    };
    for (const Case& c : cases) {
        FatImage image(c.fat32, c.clusters);
        mount({image.bytes()});
        ContextPtr context(InitVolumeInfo("C:"));
        EXPECT_EQ(context != nullptr, c.kind.has_value()) << c.what;
        if (context && c.kind) {
            EXPECT_EQ(context->kind, *c.kind) << c.what;
        }
    }
}

TEST(Detection, NtfsIdWithABadIndexSizeFailsEveryTest) {
    NtfsImage image;
    ByteVector bytes = image.bytes();
    bytes[68] = 0xF8;
    mount({bytes});
    EXPECT_EQ(InitVolumeInfo("C:"), nullptr);
}

TEST(Detection, NtfsVolumeOpensAsKind0) {
    NtfsImage image;
    mount({image.bytes()});
    ContextPtr context(InitVolumeInfo("C:"));
    ASSERT_TRUE(context);
    EXPECT_EQ(context->kind, FsKind::ntfs);
    EXPECT_STREQ(context->root_path.data(), "C:\\");
    EXPECT_EQ(context->ntfs().geometry.bytes_per_cluster, 4096u);
    EXPECT_EQ(context->ntfs().geometry.mft_offset, 4u * 4096);
    EXPECT_EQ(context->ntfs().geometry.record_size, 1024u);
}

}  // namespace
}  // namespace volscan
