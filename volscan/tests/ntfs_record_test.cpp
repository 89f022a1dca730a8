#include "ntfs_record.h"

#include <gtest/gtest.h>

#include "image_builders.h"

namespace volscan {
namespace {

using namespace volscan::testing;

// A record of `size` bytes with its fixups in place for 512-byte blocks.
ByteVector fixed_record(std::uint32_t size, std::uint16_t check,
                        std::vector<ByteVector> attrs = {}) {
    ByteVector r(size);
    std::memcpy(r.data(), "FILE", 4);
    const std::uint16_t count = static_cast<std::uint16_t>(size / 512 + 1);
    put16(r, 4, 48);
    put16(r, 6, count);
    const std::size_t first = (48 + 2 * count + 7) / 8 * 8;
    put16(r, 20, static_cast<std::uint16_t>(first));
    put32(r, 28, size);
    std::size_t at = first;
    for (const auto& a : attrs) {
        std::copy(a.begin(), a.end(), r.begin() + at);
        at += a.size();
    }
    put32(r, at, 0xFFFFFFFF);
    put16(r, 48, check);
    for (std::uint32_t k = 1; k < count; ++k) {
        put16(r, 48 + 2 * k, static_cast<std::uint16_t>(0x1100 + k));
        put16(r, k * 512 - 2, check);
    }
    return r;
}

TEST(NtfsFixups, RestoresEveryBlockOfA4096ByteRecord) {
    ByteVector r = fixed_record(4096, 0x8001);
    ASSERT_TRUE(apply_fixups(r));
    for (std::uint32_t k = 1; k <= 8; ++k) {
        EXPECT_EQ(tobrin::load_le<std::uint16_t>(tobrin::Bytes(r), k * 512 - 2), 0x1100 + k) << k;
    }
}

TEST(NtfsFixups, RejectsWithoutChangingAnything) {
    struct Case {
        const char* what;
        void (*spoil)(ByteVector&);
    };
    const Case cases[] = {
        {"torn block", [](ByteVector& r) { put16(r, 1022, 0x0002); }},
        {"no signature", [](ByteVector& r) { r[0] = 'B'; }},
        {"count past the record", [](ByteVector& r) { put16(r, 6, 4); }},
        {"array past the record", [](ByteVector& r) { put16(r, 4, 1020); }},
        {"count 0", [](ByteVector& r) { put16(r, 6, 0); }},
    };
    for (const Case& c : cases) {
        ByteVector r = fixed_record(1024, 1);
        c.spoil(r);
        const ByteVector before = r;
        EXPECT_FALSE(apply_fixups(r)) << c.what;
        EXPECT_EQ(r, before) << c.what;
    }
}

TEST(NtfsRecord, WalksAttributesInOrder) {
    ByteVector r = fixed_record(1024, 1,
                                {standard_information(0), file_name(reference(5, 5), u"a.txt"),
                                 resident_attribute(0x80, {1, 2, 3})});
    ASSERT_TRUE(apply_fixups(r));
    const auto record = parse_record(r);
    ASSERT_TRUE(record);
    ASSERT_EQ(record->attributes.size(), 3u);
    EXPECT_EQ(record->attributes[2].type, 0x80u);
    EXPECT_EQ(record->attributes[2].value.size(), 3u);
}

TEST(NtfsRecord, CorruptLayoutsAreRejected) {
    struct Case {
        const char* what;
        void (*spoil)(ByteVector&);
    };
    // Attributes start at 56 in these records.
    const Case cases[] = {
        {"attribute of length 0", [](ByteVector& r) { put32(r, 60, 0); }},
        {"attribute beyond the allocated size", [](ByteVector& r) { put32(r, 60, 2048); }},
        {"allocated size beyond the record", [](ByteVector& r) { put32(r, 28, 4096); }},
        {"value beyond its attribute", [](ByteVector& r) { put32(r, 56 + 16, 500); }},
        {"short non-resident header",
         [](ByteVector& r) {
             r[56 + 8] = 1;
             put32(r, 60, 40);
         }},
    };
    for (const Case& c : cases) {
        ByteVector r = fixed_record(1024, 1, {file_name(reference(5, 5), u"a.txt")});
        ASSERT_TRUE(apply_fixups(r));
        c.spoil(r);
        EXPECT_FALSE(parse_record(r)) << c.what;
    }
}

TEST(NtfsRecord, WalkWithoutEndMarkerStopsAtTheAllocatedSize) {
    ByteVector r = fixed_record(1024, 1, {file_name(reference(5, 5), u"a.txt")});
    ASSERT_TRUE(apply_fixups(r));
    put32(r, 28, 56);  // the first attribute starts at the end
    const auto record = parse_record(r);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->attributes.empty());
}

TEST(NtfsFileName, NameMustFitTheValue) {
    const ByteVector attr = file_name(reference(7, 3), u"long name.txt", 1, 99, 1234);
    const tobrin::Bytes value = tobrin::Bytes(attr).subspan(24, 66 + 26);
    const auto name = parse_file_name(value);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, u"long name.txt");
    EXPECT_EQ(name->parent, 7u);
    EXPECT_EQ(name->parent_sequence, 3u);
    EXPECT_EQ(name->times.mft_change, 99u);
    EXPECT_EQ(name->size, 1234u);
    EXPECT_FALSE(parse_file_name(value.first(66 + 25)));
    EXPECT_FALSE(parse_file_name(value.first(65)));
}

TEST(NtfsSkipRule, LeavesOutWhatTheScanCannotRecover) {
    struct Case {
        const char* what;
        std::vector<ByteVector> attrs;
        std::uint64_t base;
        bool skipped;
    };
    const Case cases[] = {
        {"plain file", {standard_information(0x20)}, 0, false},
        {"sparse", {standard_information(0x200)}, 0, true},
        {"reparse point", {standard_information(0x400)}, 0, true},
        {"compressed", {standard_information(0x800)}, 0, true},
        {"offline", {standard_information(0x1000)}, 0, true},
        {"not content indexed", {standard_information(0x2000)}, 0, true},
        {"encrypted", {standard_information(0x4000)}, 0, false},
        {"attribute list",
         {standard_information(0), resident_attribute(0x20, ByteVector(32))},
         0,
         true},
        {"extension record", {standard_information(0)}, reference(30, 1), true},
    };
    for (const Case& c : cases) {
        ByteVector r = fixed_record(1024, 1, c.attrs);
        put64(r, 32, c.base);
        ASSERT_TRUE(apply_fixups(r));
        const auto record = parse_record(r);
        ASSERT_TRUE(record) << c.what;
        EXPECT_EQ(is_skipped(*record), c.skipped) << c.what;
    }
}

TEST(NtfsData, ResidentRunsAndFailedDecodes) {
    struct Case {
        const char* what;
        ByteVector attr;
        DataKind kind;
        std::size_t runs;
        std::uint64_t size;
    };
    const Case cases[] = {
        {"resident", resident_attribute(0x80, {9, 8, 7}), DataKind::resident, 0, 3},
        {"two runs", nonresident_attribute(0x80, encode_runs({{40, 1}, {30, 2}}), 9000),
         DataKind::runs, 2, 9000},
        {"run beyond the volume", nonresident_attribute(0x80, encode_runs({{90, 20}}), 9000),
         DataKind::resident, 0, 9000},
        {"runs adding up past the volume",
         nonresident_attribute(0x80, encode_runs({{10, 60}, {10, 60}}), 9000), DataKind::resident,
         0, 9000},
        {"sparse run", nonresident_attribute(0x80, {0x01, 0x05, 0x00}, 9000), DataKind::resident, 0,
         9000},
        {"pairs past the attribute", nonresident_attribute(0x80, {0x48, 1}, 9000),
         DataKind::resident, 0, 9000},
    };
    for (const Case& c : cases) {
        ByteVector r = fixed_record(1024, 1, {c.attr});
        ASSERT_TRUE(apply_fixups(r));
        const auto record = parse_record(r);
        ASSERT_TRUE(record) << c.what;
        const auto data = decode_data(*record, 100);
        ASSERT_TRUE(data) << c.what;
        EXPECT_EQ(data->kind, c.kind) << c.what;
        EXPECT_EQ(data->runs.size(), c.runs) << c.what;
        EXPECT_EQ(data->size, c.size) << c.what;
        EXPECT_TRUE(c.kind == DataKind::runs ||
                    data->resident.size() == (c.what == std::string("resident") ? 3u : 0u));
    }
    ByteVector r = fixed_record(1024, 1, {standard_information(0)});
    ASSERT_TRUE(apply_fixups(r));
    EXPECT_FALSE(decode_data(*parse_record(r), 100));
}

}  // namespace
}  // namespace volscan
