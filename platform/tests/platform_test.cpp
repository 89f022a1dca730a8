#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "disk_builder.h"
#include "tobrin/platform/bytes.h"
#include "tobrin/platform/files.h"
#include "tobrin/platform/handle.h"
#include "tobrin/platform/machine.h"
#include "tobrin/platform/ntfs.h"
#include "tobrin/platform/system.h"
#include "tobrin/platform/text.h"

namespace tobrin::platform {
namespace {

using testing::DiskBuilder;

DiskSource memory_disk(std::vector<std::uint8_t> bytes, std::uint32_t sector_size = 512) {
    DiskSource source;
    source.path = "memory";
    source.sector_size = sector_size;
    source.device = std::make_shared<MemoryDevice>(std::move(bytes));
    return source;
}

// Primary NTFS, an extended partition with three logical drives, a primary FAT32
// after it and a primary of a type that gets no letter.
std::vector<std::uint8_t> mixed_disk() {
    DiskBuilder d(4096);
    d.entry(0, 0, 0x07, 64, 512).ntfs_boot(64, 512);
    d.entry(0, 1, 0x05, 1024, 2048);
    d.entry(1024, 0, 0x0C, 16, 400).entry(1024, 1, 0x05, 512, 600);   // logical 1 at 1040
    d.entry(1536, 0, 0x06, 16, 400).entry(1536, 1, 0x05, 1024, 600);  // logical 2 at 1552
    d.entry(2048, 0, 0x07, 16, 400);                                  // logical 3 at 2064
    d.entry(0, 2, 0x0C, 3200, 400);
    d.entry(0, 3, 0x87, 3700, 300);
    return d.bytes();
}

struct ExpectedVolume {
    char letter;
    std::uint32_t number;
    std::uint8_t type;
    std::uint64_t start_lba;
};

TEST(Machine, LettersFollowThePartitionWalk) {
    ASSERT_TRUE(use_disks({memory_disk(mixed_disk())}).empty());
    const ExpectedVolume expected[] = {
        {'C', 1, 0x07, 64},   {'D', 2, 0x0C, 1040}, {'E', 3, 0x06, 1552},
        {'F', 4, 0x07, 2064}, {'G', 5, 0x0C, 3200},
    };
    const Machine& m = machine();
    ASSERT_EQ(m.volumes.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].letter);
        EXPECT_EQ(m.volumes[i].letter, expected[i].letter);
        EXPECT_EQ(m.volumes[i].partition_number, expected[i].number);
        EXPECT_EQ(m.volumes[i].type, expected[i].type);
        EXPECT_EQ(m.volumes[i].start, expected[i].start_lba * 512);
    }
    const auto slots = walk_partition_table(*m.disks[0].device, 512);
    ASSERT_EQ(slots.size(), 6u);
    EXPECT_EQ(slots[5].type, 0x87);
    EXPECT_EQ(slots[5].number, 6u);
    EXPECT_EQ(logical_drives(), 0b1111100u);
    EXPECT_EQ(drive_type("C:"), DriveType::fixed);
    EXPECT_EQ(drive_type("H:\\"), DriveType::no_root);
}

TEST(Machine, LettersContinueAcrossDisks) {
    ASSERT_TRUE(use_disks({memory_disk(mixed_disk()), memory_disk(mixed_disk())}).empty());
    const Machine& m = machine();
    ASSERT_EQ(m.volumes.size(), 10u);
    EXPECT_EQ(m.volumes[5].letter, 'H');
    EXPECT_EQ(m.volumes[5].disk, 1u);
    EXPECT_EQ(m.volumes[5].partition_number, 1u);
}

TEST(Machine, LoopingExtendedChainEnds) {
    DiskBuilder d(2048);
    d.entry(0, 0, 0x05, 100, 1000);
    d.entry(100, 0, 0x07, 10, 50).entry(100, 1, 0x05, 0, 1000);  // links back to itself
    ASSERT_TRUE(use_disks({memory_disk(d.bytes())}).empty());
    EXPECT_EQ(machine().volumes.size(), 1u);
}

TEST(Machine, SuperfloppyIsOneRemovableVolume) {
    struct Case {
        bool fat32;
        std::uint32_t clusters;
        std::uint8_t type;
    };
    for (const Case c : {Case{true, 70000, 12}, Case{false, 5000, 6}}) {
        DiskBuilder d(80000);
        d.fat_boot(0, c.clusters, c.fat32);
        ASSERT_TRUE(use_disks({memory_disk(d.bytes())}).empty());
        const Machine& m = machine();
        ASSERT_EQ(m.volumes.size(), 1u);
        EXPECT_EQ(m.volumes[0].type, c.type);
        EXPECT_EQ(m.volumes[0].start, 0u);
        EXPECT_EQ(m.volumes[0].length, 80000u * 512);
        EXPECT_TRUE(m.disks[0].removable);
        EXPECT_EQ(drive_type("C:\\"), DriveType::removable);
    }
}

TEST(Machine, DiskWithoutSignatureHasNoVolumes) {
    DiskBuilder d(64);
    d.entry(0, 0, 0x07, 1, 10);
    auto bytes = d.bytes();
    bytes[511] = 0;
    ASSERT_TRUE(use_disks({memory_disk(bytes)}).empty());
    EXPECT_TRUE(machine().volumes.empty());
    EXPECT_EQ(machine().disks.size(), 1u);
}

TEST(Machine, MissingPathIsReportedAndLeftOut) {
    DiskSource missing;
    missing.path = "/nonexistent/disk.img";
    const auto errors = use_disks({missing, memory_disk(mixed_disk())});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].path, missing.path);
    EXPECT_NE(errors[0].message.find(missing.path), std::string::npos);
    EXPECT_EQ(machine().disks.size(), 1u);
    EXPECT_EQ(registry_disk_count(), 1u);
}

TEST(Machine, DiskArguments) {
    struct Case {
        const char* argument;
        bool valid;
        const char* path;
        std::uint32_t sector_size;
    };
    const Case cases[] = {
        {"disk.img", true, "disk.img", 512},   {"disk.img@4096", true, "disk.img", 4096},
        {"a@b.img@512", true, "a@b.img", 512}, {"disk.img@1000", false, "", 0},
        {"disk.img@", false, "", 0},           {"@4096", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        std::string error;
        const auto source = parse_disk_argument(c.argument, error);
        ASSERT_EQ(source.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(source->path, c.path);
            EXPECT_EQ(source->sector_size, c.sector_size);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(Machine, FourKilobyteSectorImage) {
    const auto dir = std::filesystem::temp_directory_path() / "tobrin-platform-4k";
    std::filesystem::create_directories(dir);
    const auto path = (dir / "fat32-4k.img").string();
    DiskBuilder d(20000, 4096);
    d.fat_boot(0, 70000, true);
    auto bytes = d.bytes();
    bytes[11] = 0x00;  // bytes per sector 4096
    bytes[12] = 0x10;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::string error;
    ASSERT_TRUE(use_disks({*parse_disk_argument(path + "@4096", error)}).empty());
    EXPECT_EQ(bytes_per_sector("C:\\"), 4096u);
    const auto volume = DeviceHandle::open("\\\\.\\C:");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->geometry().bytes_per_sector, 4096u);
    std::filesystem::remove_all(dir);
}

TEST(DeviceHandle, VolumeReadsStartAtItsPartition) {
    ASSERT_TRUE(use_disks({memory_disk(mixed_disk())}).empty());
    const auto volume = DeviceHandle::open("\\\\.\\c:");
    ASSERT_TRUE(volume);
    std::vector<std::uint8_t> sector(512);
    ASSERT_TRUE(volume->read_at(0, sector).ok());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sector.data()) + 3, 4), "NTFS");
    EXPECT_EQ(volume->size(), 512u * 512);
    const auto info = volume->partition_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->number, 1u);
    EXPECT_EQ(volume->disk_number(), 0u);
    EXPECT_EQ(volume->ntfs_bytes_per_record(), 1024u);
    // A read that runs past the partition is short, never into the next one.
    EXPECT_EQ(volume->read_at(512u * 511, std::span(sector).first(512)).status, ReadStatus::ok);
    std::vector<std::uint8_t> two(1024);
    EXPECT_EQ(volume->read_at(512u * 511, two).status, ReadStatus::short_read);

    for (const char* name : {"\\\\.\\PhysicalDrive1", "\\\\.\\Q:", "C:", "\\\\.\\C:\\", ""}) {
        EXPECT_FALSE(DeviceHandle::open(name)) << name;
    }
    const auto disk = DeviceHandle::open("\\\\.\\PhysicalDrive0");
    ASSERT_TRUE(disk);
    EXPECT_FALSE(disk->partition_info());
    EXPECT_EQ(disk->disk_size(), 4096u * 512);
}

TEST(MemoryDevice, FailedRangesFailReads) {
    MemoryDevice device(std::vector<std::uint8_t>(4096, 7));
    device.fail_reads(1024, 512);
    std::vector<std::uint8_t> buffer(512);
    EXPECT_TRUE(device.read_at(512, buffer).ok());
    EXPECT_EQ(device.read_at(1024, buffer).status, ReadStatus::failed);
    EXPECT_EQ(device.read_at(900, buffer).status, ReadStatus::failed);
    EXPECT_EQ(device.read_at(8192, buffer).status, ReadStatus::short_read);
}

TEST(Bytes, ReadsAreBounded) {
    const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x80};
    EXPECT_EQ(load_le<std::uint16_t>(data, 0), 0x0201);
    EXPECT_EQ(load_le<std::uint32_t>(data, 0), 0x80030201u);
    EXPECT_EQ(load_le<std::uint32_t>(data, 1), 0u);  // one byte past the end
    EXPECT_EQ(load_le<std::uint16_t>(data, ~std::uint64_t{0}), 0);
    EXPECT_TRUE(fits(data, 4, 0));
    EXPECT_FALSE(fits(data, 5, 0));
    EXPECT_FALSE(fits(data, 1, ~std::uint64_t{0}));
    EXPECT_EQ(load_le_varint(data, 2, 2, true), static_cast<std::int16_t>(0x8003));
    EXPECT_EQ(load_le_varint(data, 2, 2, false), 0x8003);
}

TEST(NtfsRuns, Decode) {
    struct Case {
        std::vector<std::uint8_t> pairs;
        std::optional<std::vector<std::pair<std::int64_t, std::int64_t>>> runs;
    };
    const Case cases[] = {
        {{0x00}, std::vector<std::pair<std::int64_t, std::int64_t>>{}},
        {{0x21, 0x18, 0x34, 0x56, 0x00}, {{{0x5634, 0x18}}}},
        // Second run 0x10 clusters back from the first.
        {{0x11, 0x04, 0x40, 0x11, 0x02, 0xF0, 0x00}, {{{0x40, 4}, {0x30, 2}}}},
        {{0x01, 0x04, 0x00}, std::nullopt},                             // sparse run: no offset
        {{0x11, 0xFC, 0x10, 0x00}, std::nullopt},                       // negative length
        {{0x11, 0x04, 0xF0, 0x00}, std::nullopt},                       // before cluster 0
        {{0x21, 0x18, 0x34}, std::nullopt},                             // pair past the buffer
        {{0x11, 0x04, 0x10}, std::nullopt},                             // no terminator
        {{0x91, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00}, std::nullopt},  // 9-byte offset
    };
    for (const Case& c : cases) {
        const auto runs = decode_ntfs_runs(c.pairs);
        ASSERT_EQ(runs.has_value(), c.runs.has_value());
        if (!runs) continue;
        ASSERT_EQ(runs->size(), c.runs->size());
        for (std::size_t i = 0; i < runs->size(); ++i) {
            EXPECT_EQ((*runs)[i].first_cluster, (*c.runs)[i].first);
            EXPECT_EQ((*runs)[i].cluster_count, (*c.runs)[i].second);
        }
    }
}

// A record of `blocks` 512-byte blocks whose update-sequence array (at 48) saves
// 0xAA00 + k for block k and whose check word is 0x8001.
std::vector<std::uint8_t> record_with_fixups(std::uint16_t blocks) {
    std::vector<std::uint8_t> record(512u * blocks);
    store_le16(record, 4, 48);
    store_le16(record, 6, static_cast<std::uint16_t>(blocks + 1));
    store_le16(record, 48, 0x8001);
    for (std::uint16_t k = 1; k <= blocks; ++k) {
        store_le16(record, 48 + 2u * k, static_cast<std::uint16_t>(0xAA00 + k));
        store_le16(record, 512u * k - 2, 0x8001);
    }
    return record;
}

TEST(NtfsFixups, VerifyEveryBlockBeforeApplying) {
    for (const std::uint16_t blocks : {2, 8}) {
        auto record = record_with_fixups(blocks);
        ASSERT_TRUE(apply_ntfs_fixups(record));
        for (std::uint16_t k = 1; k <= blocks; ++k) {
            EXPECT_EQ(load_le<std::uint16_t>(record, 512u * k - 2), 0xAA00 + k);
        }
    }
    auto torn = record_with_fixups(2);
    store_le16(torn, 1022, 0x8002);
    const auto before = torn;
    EXPECT_FALSE(apply_ntfs_fixups(torn));
    EXPECT_EQ(torn, before);  // the first block's word is not patched either

    auto too_many = record_with_fixups(2);
    store_le16(too_many, 6, 4);  // claims a third block beyond the record
    EXPECT_FALSE(apply_ntfs_fixups(too_many));
    auto array_outside = record_with_fixups(2);
    store_le16(array_outside, 4, 1020);
    EXPECT_FALSE(apply_ntfs_fixups(array_outside));
}

TEST(Text, Utf16ToAnsi) {
    set_ansi_code_page(AnsiCodePage::utf8);
    EXPECT_EQ(utf16_to_ansi(u"r\u00e9sum\u00e9 \u65e5\u672c.doc"),
              "r\xc3\xa9sum\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.doc");
    EXPECT_EQ(utf16_to_ansi(u"\U0001F600"), "\xf0\x9f\x98\x80");
    EXPECT_EQ(utf16_to_ansi(std::u16string(1, char16_t{0xD800}) + u"a"), "?a");
    EXPECT_EQ(ansi_to_utf16("C:\\r\xc3\xa9"), u"C:\\r\u00e9");
    set_ansi_code_page(AnsiCodePage::windows1252);
    EXPECT_EQ(utf16_to_ansi(u"r\u00e9sum\u00e9 \u65e5\u20ac"), "r\xe9sum\xe9 ?\x80");
    set_ansi_code_page(AnsiCodePage::utf8);
}

TEST(Text, OemShortNames) {
    set_ansi_code_page(AnsiCodePage::utf8);
    EXPECT_EQ(oem_to_ansi("R\x82SUM\x82.DOC"), "R\xc3\xa9SUM\xc3\xa9.DOC");
    EXPECT_EQ(oem_to_ansi("\x9A"
                          "BER"),
              "\xc3\x9c"
              "BER");
}

TEST(Time, LineTimes) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2009-07-04 14:05:09 UTC
    const std::uint64_t filetime = (1246716309ull + 11644473600ull) * 10000000ull;
    const auto t = filetime_to_local(filetime);
    ASSERT_TRUE(t);
    EXPECT_EQ(format_line_time(*t), "7/4/2009 14:5:9");
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    EXPECT_EQ(format_line_time(*filetime_to_local(filetime)), "7/4/2009 16:5:9");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // Hour 13, minute 7, two-second count 21 on 3 April 2008.
    const std::uint16_t time = (13 << 11) | (7 << 5) | 21;
    const std::uint16_t date = (28 << 9) | (4 << 5) | 3;
    EXPECT_EQ(format_line_time(dos_date_time(date, time)), "4/3/2008 13:7:42");
}

TEST(Files, CreateNewNeverReplaces) {
    const auto dir = std::filesystem::temp_directory_path() / "tobrin-platform-files";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "1_a.txt").string();
    {
        auto file = OutputFile::create_new(path);
        ASSERT_TRUE(file);
        const std::uint8_t data[] = {'h', 'i'};
        EXPECT_TRUE(file->write(data));
    }
    EXPECT_FALSE(OutputFile::create_new(path));
    EXPECT_EQ(std::filesystem::file_size(path), 2u);
    EXPECT_FALSE(OutputFile::create_new((dir / "missing" / "x").string()));
    std::filesystem::remove_all(dir);
}

TEST(Shell, FolderOpenerSeamAndDesktop) {
    std::string opened;
    set_folder_opener([&](const std::string& folder) { opened = folder; });
    open_in_file_browser("/tmp/recovered");
    EXPECT_EQ(opened, "/tmp/recovered");
    set_folder_opener(nullptr);

    const auto home = std::filesystem::temp_directory_path() / "tobrin-home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / ".config");
    std::filesystem::create_directories(home / "Schreibtisch");
    std::ofstream(home / ".config" / "user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(desktop_directory(), (home / "Schreibtisch").string());
    std::filesystem::remove(home / ".config" / "user-dirs.dirs");
    EXPECT_EQ(desktop_directory(), "");
    std::filesystem::create_directories(home / "Desktop");
    EXPECT_EQ(desktop_directory(), (home / "Desktop").string());
    std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace tobrin::platform
