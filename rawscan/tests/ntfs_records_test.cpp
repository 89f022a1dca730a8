#include "ntfs_records.h"

#include <gtest/gtest.h>

#include "boot_sectors.h"
#include "disk_builder.h"
#include "test_images.h"

namespace rawscan::ntfs {
namespace {

using namespace rawscan::testing;

std::vector<std::uint8_t> plain_file(const std::string& contents = "data") {
    return RecordBuilder(40, 1)
        .standard_information(0x20)
        .file_name(reference(5, 5), u"FILE~1.TXT", 2)
        .file_name(reference(5, 5), u"file name.txt", 1)
        .resident(kData, std::vector<std::uint8_t>(contents.begin(), contents.end()))
        .build();
}

TEST(NtfsFixup, RestoresEveryStrideOrNone) {
    auto record = plain_file();
    const auto protected_copy = record;
    ASSERT_TRUE(apply_fixup(record));
    EXPECT_EQ(record[510], 0);
    EXPECT_EQ(record[1022], 0);

    auto torn = protected_copy;
    torn[1022] = 0x02;  // second stride does not carry the check word
    EXPECT_FALSE(apply_fixup(torn));
    EXPECT_EQ(torn[510], protected_copy[510]);  // first stride left as it was

    auto bad_count = protected_copy;
    put16(bad_count, 6, 4);  // three strides claimed in a 1024-byte record
    EXPECT_FALSE(apply_fixup(bad_count));
    auto odd_offset = protected_copy;
    put16(odd_offset, 4, 0x31);
    EXPECT_FALSE(apply_fixup(odd_offset));
    auto array_outside = protected_copy;
    put16(array_outside, 4, 1022);
    EXPECT_FALSE(apply_fixup(array_outside));
}

TEST(NtfsFileRecord, TakesTheLongNameAndResidentData) {
    auto record = plain_file("hello");
    ASSERT_TRUE(apply_fixup(record));
    const auto file = parse_file_record(record, 512);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name, u"file name.txt");
    EXPECT_EQ(file->size, 5u);
    EXPECT_TRUE(file->data.resident);
    const auto value = resident_value(record, file->data);
    ASSERT_TRUE(value);
    EXPECT_EQ(std::string(value->begin(), value->end()), "hello");
    EXPECT_FALSE(resident_value(std::span(record).first(file->data.value_offset + 4), file->data));
    EXPECT_EQ(record_of(file->parent), 5u);
}

TEST(NtfsFileRecord, RejectedRecords) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> record;
    };
    const std::vector<std::uint8_t> data = {'x'};
    const std::vector<Case> cases = {
        {"compressed", RecordBuilder(40, 1)
                           .standard_information(0x800)
                           .file_name(reference(5, 5), u"a")
                           .resident(kData, data)
                           .build()},
        {"sparse", RecordBuilder(40, 1)
                       .standard_information(0x200)
                       .file_name(reference(5, 5), u"a")
                       .resident(kData, data)
                       .build()},
        {"attribute list", RecordBuilder(40, 1)
                               .standard_information(0)
                               .resident(kAttributeList, data)
                               .file_name(reference(5, 5), u"a")
                               .resident(kData, data)
                               .build()},
        {"no data",
         RecordBuilder(40, 1).standard_information(0).file_name(reference(5, 5), u"a").build()},
        {"only a DOS name", RecordBuilder(40, 1)
                                .standard_information(0)
                                .file_name(reference(5, 5), u"A", 2)
                                .resident(kData, data)
                                .build()},
        {"no change time", RecordBuilder(40, 1)
                               .standard_information(0)
                               .file_name(reference(5, 5), u"a", 1, 0, 0)
                               .resident(kData, data)
                               .build()},
        {"only a named stream", RecordBuilder(40, 1)
                                    .standard_information(0)
                                    .file_name(reference(5, 5), u"a")
                                    .resident(kData, data, 4)
                                    .build()},
    };
    for (const Case& c : cases) {
        auto record = c.record;
        ASSERT_TRUE(apply_fixup(record)) << c.name;
        EXPECT_FALSE(parse_file_record(record, 512)) << c.name;
    }
}

TEST(NtfsFileRecord, NamedStreamDoesNotReplaceTheContents) {
    const std::vector<std::uint8_t> main = {'m', 'a', 'i', 'n'};
    const std::vector<std::uint8_t> zone = {'z'};
    auto record = RecordBuilder(40, 1)
                      .standard_information(0)
                      .file_name(reference(5, 5), u"a")
                      .resident(kData, main)
                      .resident(kData, zone, 4)
                      .build();
    ASSERT_TRUE(apply_fixup(record));
    const auto file = parse_file_record(record, 512);
    ASSERT_TRUE(file);
    const auto value = resident_value(record, file->data);
    ASSERT_TRUE(value);
    EXPECT_EQ(std::vector<std::uint8_t>(value->begin(), value->end()), main);
}

TEST(NtfsAttributeWalk, StopsAtBrokenLengths) {
    auto record = plain_file();
    ASSERT_TRUE(apply_fixup(record));
    EXPECT_TRUE(record_name(record));
    const std::uint64_t first = 0x38;
    for (const std::uint32_t length : {0u, 4u, 2000u, 0xFFFFFFF8u}) {
        auto broken = record;
        put32(broken, first + 4, length);
        AttributeWalk walk(broken);
        EXPECT_FALSE(walk.next()) << length;
        EXPECT_FALSE(walk.ended());
        EXPECT_FALSE(record_name(broken)) << length;
        EXPECT_FALSE(parse_file_record(broken, 512)) << length;
    }
    auto first_outside = record;
    put16(first_outside, 20, 1021);
    EXPECT_FALSE(AttributeWalk(first_outside).next());
}

TEST(NtfsAttributeWalk, ValueAndNameLengthsAreBounded) {
    auto record = plain_file();
    ASSERT_TRUE(apply_fixup(record));
    // Attributes: SI at 0x38 (0x60 bytes), DOS name at 0x98.
    auto long_value = record;
    put32(long_value, 0x98 + 16, 5000);
    EXPECT_FALSE(parse_file_record(long_value, 512));
    auto long_name = record;
    long_name[0x98 + 0x18 + 64] = 255;
    EXPECT_FALSE(parse_file_record(long_name, 512));
}

TEST(NtfsFolderRecord, RootAndPlainFolder) {
    auto root = RecordBuilder(0, 3, 5)
                    .standard_information(0x6)
                    .file_name(reference(5, 5), u".", 3, 0x10000006)
                    .index_root()
                    .build();
    ASSERT_TRUE(apply_fixup(root));
    const auto folder = parse_folder_record(root);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->number, kRootFolder);
    auto no_index = RecordBuilder(30, 3)
                        .standard_information(0x10)
                        .file_name(reference(5, 5), u"dir", 1, 0x10000000)
                        .build();
    ASSERT_TRUE(apply_fixup(no_index));
    EXPECT_FALSE(parse_folder_record(no_index));
    auto not_directory = RecordBuilder(30, 3)
                             .standard_information(0x10)
                             .file_name(reference(5, 5), u"dir", 1, 0)
                             .index_root()
                             .build();
    ASSERT_TRUE(apply_fixup(not_directory));
    EXPECT_FALSE(parse_folder_record(not_directory));
}

TEST(NtfsBootSector, Table) {
    tobrin::testing::DiskBuilder d(1);
    d.ntfs_boot(0, 1000);
    const auto good = d.bytes();
    EXPECT_TRUE(ntfs_boot_sector_valid(good, 512, 1000));
    struct Case {
        const char* name;
        std::size_t at;
        std::uint8_t value;
    };
    const Case cases[] = {
        {"oem id", 3, 'X'},
        {"sector size", 12, 4},
        {"cluster factor", 13, 3},
        {"reserved field", 14, 1},
        {"byte 22", 22, 1},
        {"total past partition", 41, 4},
        {"mft past partition", 48, 200},
        {"record code 0", 64, 0},
        {"record code -8", 64, 0xF8},
        {"index code 3", 68, 3},
    };
    for (const Case& c : cases) {
        auto s = good;
        s[c.at] = c.value;
        EXPECT_FALSE(ntfs_boot_sector_valid(s, 512, 1000)) << c.name;
    }
    EXPECT_FALSE(ntfs_boot_sector_valid(good, 4096, 1000));
    EXPECT_EQ(ntfs_record_size(-10, 4096), 1024u);
    EXPECT_EQ(ntfs_record_size(2, 4096), 8192u);
    EXPECT_FALSE(ntfs_record_size(3, 4096));
}

}  // namespace
}  // namespace rawscan::ntfs
