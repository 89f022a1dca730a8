#include "fat_entries.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace rawscan::fat32 {
namespace {

constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::uint64_t kGiB = kMiB * 1024;
constexpr DosNow kNow{(std::uint32_t{0x5A21} << 16) | 0x6000, 2025};  // 2025-01-01 12:00

std::array<std::uint8_t, 32> short_entry(const char (&name)[12], std::uint8_t attribute = 0x20,
                                         std::uint16_t date = 0x3883, std::uint16_t time = 0x51F2) {
    std::array<std::uint8_t, 32> e{};
    std::memcpy(e.data(), name, 11);
    e[11] = attribute;
    e[22] = static_cast<std::uint8_t>(time);
    e[23] = static_cast<std::uint8_t>(time >> 8);
    e[24] = static_cast<std::uint8_t>(date);
    e[25] = static_cast<std::uint8_t>(date >> 8);
    return e;
}

TEST(FatShortName, Table) {
    struct Case {
        const char name[12];
        const char* shown;
    };
    const Case cases[] = {
        {"ABC     TX ", "ABC.TX "},
        {"README     ", "README"},
        {"\xE5"
         "ELETED TXT",
         "_ELETED.TXT"},
        {"CAF\x82    TXT", "CAF\xC3\xA9.TXT"},  // OEM 0x82 is e acute
        {"\x05"
         "BC     TXT",
         "\xC3\x95"
         "BC.TXT"},  // 0x05 stands for a live 0xE5
        {"A B     TXT", "A.TXT"},
    };
    for (const Case& c : cases) {
        const auto e = short_entry(c.name);
        EXPECT_EQ(short_name(DirEntry(e)), c.shown) << c.shown;
    }
    EXPECT_TRUE(DirEntry(short_entry("\xE5"
                                     "ELETED TXT"))
                    .is_deleted());
    EXPECT_FALSE(DirEntry(short_entry("\x05"
                                      "BC     TXT"))
                     .is_deleted());
}

TEST(FatTimeTest, Table) {
    struct Case {
        const char* name;
        std::uint16_t date, time;
        bool passes;
    };
    const Case cases[] = {
        {"2008-04-03 10:15:36", 0x3883, 0x51F2, true},
        {"zero", 0, 0, true},
        {"month 13", (28 << 9) | (13 << 5) | 1, 0, false},
        {"day 0", (28 << 9) | (4 << 5), 0, false},
        {"hour 24", 0x3883, 24 << 11, false},
        {"seconds field 30", 0x3883, 30, false},
        {"future", (46 << 9) | (1 << 5) | 1, 0, false},
    };
    for (const Case& c : cases) {
        const auto e = short_entry("FILE    TXT", 0x20, c.date, c.time);
        EXPECT_EQ(passes_time_test(DirEntry(e), kNow), c.passes) << c.name;
    }
}

TEST(FatShortEntryTest, Table) {
    struct Case {
        const char name[12];
        std::uint8_t attribute;
        bool passes;
    };
    const Case cases[] = {
        {"FILE    TXT", 0x20, true},  {".          ", 0x10, true},  {"..         ", 0x10, false},
        {"FI*E    TXT", 0x20, false}, {"FILE    TXT", 0x00, false}, {"FILE    TXT", 0x0F, false},
        {"FILE    TXT", 0x40, false}, {"FI,E    TXT", 0x20, false}, {"\x01ILE    TXT", 0x20, false},
    };
    for (const Case& c : cases) {
        const auto e = short_entry(c.name, c.attribute);
        EXPECT_EQ(passes_short_entry_test(DirEntry(e), 1000, kNow), c.passes) << c.name;
    }
}

// `count` long-name entries of 13 'x' each, then a short entry.
std::vector<std::uint8_t> long_run(std::uint32_t count) {
    static constexpr int kChars[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::vector<std::uint8_t> d(32 * (count + 1), 0);
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint8_t* e = d.data() + 32 * k;
        e[0] = static_cast<std::uint8_t>((count - k) | (k == 0 ? 0x40 : 0));
        e[11] = 0x0F;
        for (const int at : kChars) e[at] = 'x';
    }
    const auto s = short_entry("LONGNA~1TXT");
    std::copy(s.begin(), s.end(), d.begin() + 32 * count);
    return d;
}

TEST(FatLongName, TwentyEntriesHold260Characters) {
    const auto twenty = assemble_long_name(long_run(20), 0, 1000, kNow);
    ASSERT_TRUE(twenty);
    EXPECT_EQ(twenty->name, std::string(260, 'x'));
    EXPECT_EQ(twenty->entries, 20u);
    EXPECT_FALSE(assemble_long_name(long_run(21), 0, 1000, kNow));
    EXPECT_EQ(long_name_run_length(long_run(21), 0), 21u);
}

TEST(FatLongName, RunCutByTheBufferEndIsNoName) {
    auto run = long_run(2);
    run.resize(64);
    EXPECT_FALSE(assemble_long_name(run, 0, 1000, kNow));
}

TEST(FatDirectoryTest, Table) {
    std::vector<std::uint8_t> sector(512, 0);
    const auto dot = short_entry(".          ", 0x10);
    std::copy(dot.begin(), dot.end(), sector.begin());
    EXPECT_TRUE(looks_like_directory(sector, 1000, kNow));
    auto run = long_run(3);
    run.resize(512);
    EXPECT_TRUE(looks_like_directory(run, 1000, kNow));
    run[0] = 0x42;  // sequence 2 but three entries walked
    EXPECT_FALSE(looks_like_directory(run, 1000, kNow));
    EXPECT_FALSE(looks_like_directory(std::vector<std::uint8_t>(512, 0), 1000, kNow));
    EXPECT_FALSE(looks_like_directory(std::vector<std::uint8_t>(512, 0xF6), 1000, kNow));
}

TEST(FatSignature, Table) {
    const auto sector = [](std::uint32_t e0, std::uint32_t e1) {
        std::vector<std::uint8_t> s(512, 0);
        for (int i = 0; i < 4; ++i) {
            s[i] = static_cast<std::uint8_t>(e0 >> (8 * i));
            s[4 + i] = static_cast<std::uint8_t>(e1 >> (8 * i));
        }
        return s;
    };
    EXPECT_TRUE(has_fat_signature(sector(0x0FFFFFF8, 0x0FFFFFFF)));
    EXPECT_TRUE(has_fat_signature(sector(0xFFFFFFF0, 0xFFFFFFFF)));
    EXPECT_FALSE(has_fat_signature(sector(0x0FFFFFF1, 0x0FFFFFFF)));
    EXPECT_FALSE(has_fat_signature(sector(0x0FFFFFF8, 0x0FFFFFF7)));
    EXPECT_FALSE(has_fat_signature(std::vector<std::uint8_t>(7, 0xFF)));
}

TEST(FatDefaultClusterSize, Table) {
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {
        {32 * kMiB, 0},    {32 * kMiB + 1, 512}, {64 * kMiB, 512},   {64 * kMiB + kMiB / 2, 0},
        {65 * kMiB, 1024}, {128 * kMiB, 1024},   {129 * kMiB, 2048}, {257 * kMiB, 4096},
        {8 * kGiB, 4096},  {8 * kGiB + 1, 8192}, {32 * kGiB, 16384}, {32 * kGiB + 1, 0},
    };
    for (const auto& [length, size] : cases)
        EXPECT_EQ(default_cluster_size(length), size) << length;
}

TEST(FatClusterCorrection, Table) {
    const std::pair<double, std::uint64_t> cases[] = {
        {0.98, 1},  {8.0, 8},     {7.6, 8},   {4.2, 4}, {10.5, 8}, {5.5, 0},
        {12.5, 16}, {128.5, 128}, {300.0, 0}, {0.0, 0}, {-3.0, 0},
    };
    for (const auto& [estimate, spc] : cases) {
        EXPECT_EQ(corrected_sectors_per_cluster(estimate), spc) << estimate;
    }
}

}  // namespace
}  // namespace rawscan::fat32
