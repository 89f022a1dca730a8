#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "tobrin/testing/fixtures.h"
#include "tobrin/testing/sha256.h"

namespace tobrin::testing {
namespace {

std::vector<std::uint8_t> bytes_of(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Bytes (i * 7) mod 256, so that every length around a block edge is covered.
std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(i * 7);
    return out;
}

TEST(Sha256, KnownVectors) {
    struct Case {
        std::vector<std::uint8_t> input;
        const char* digest;
    };
    const std::vector<Case> cases = {
        {bytes_of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {bytes_of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {bytes_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::vector<std::uint8_t>(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {pattern(55), "576a1bf8d4478657e6dc4af9398544765c2a92cde28478b019235cfed315fc09"},
        {pattern(56), "9b20501dfd1d99161c257950f3444f3e49230c351c5c8e0943ef369f85f5205d"},
        {pattern(63), "30b345906b493f06f69444b6521113511c242f30e29840462950035043682f1e"},
        {pattern(64), "d8bc63b4fc1156e5e7d95a418b9bf54cd3174bedbc2db40f74895349b229b3c0"},
        {pattern(65), "1ee23b0fbcaecc1aff4a9e8f1645f35ab2c8e13609cd73b68df8b5e3f63ce073"},
        {pattern(119), "7a6589821178918ca8d9edaba5abfc1e9b2669564f4469b66885379c1530b2c8"},
        {pattern(120), "655250427d56b1b0eeb8497d21428704273458a01772d6881b65c0abac0f8a98"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sha256_hex(c.input), c.digest) << "length " << c.input.size();
    }
}

constexpr std::string_view kManifest =
    "path\tsize\tsha256\tdeleted\ttime\ttags\n"
    "Documents/it's.doc\t9000\t"
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\t0\t3/14/2021 9:53:16\t-\n"
    "Old Folder/lost \xc3\xa9.txt\t5000\t"
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\t1\t-\t"
    "in-deleted-folder,orphan\n";

TEST(Manifest, ParsesRowsAndTags) {
    const std::vector<ManifestRow> rows = parse_manifest(kManifest, "test");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, "Documents/it's.doc");
    EXPECT_EQ(rows[0].name(), "it's.doc");
    EXPECT_EQ(rows[0].folder(), "Documents");
    EXPECT_EQ(rows[0].size, 9000u);
    EXPECT_FALSE(rows[0].deleted);
    EXPECT_EQ(rows[0].time, "3/14/2021 9:53:16");
    EXPECT_TRUE(rows[0].tags.empty());
    EXPECT_TRUE(rows[1].deleted);
    EXPECT_EQ(rows[1].name(), "lost \xc3\xa9.txt");
    EXPECT_TRUE(rows[1].has("orphan"));
    EXPECT_TRUE(rows[1].has("in-deleted-folder"));
    EXPECT_FALSE(rows[1].has("orphan,"));
    EXPECT_FALSE(rows[1].has("resident"));
}

TEST(Manifest, RejectsMalformedText) {
    const std::string row =
        "a\t1\te3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    const std::string header = "path\tsize\tsha256\tdeleted\ttime\ttags\n";
    const std::vector<std::string> bad = {
        "",
        "path\tsize\n" + row + "\t0\t-\t-\n",                // header
        header + row + "\t0\t-\n",                           // too few fields
        header + row + "\t0\t-\t-\textra\n",                 // too many fields
        header + "a\tx1\t" + row.substr(5) + "\t0\t-\t-\n",  // size
        header + row + "\t2\t-\t-\n",                        // deleted flag
        header + "a\t1\tabc\t0\t-\t-\n",                     // digest
    };
    for (const std::string& text : bad) {
        EXPECT_THROW(parse_manifest(text, "test"), std::runtime_error) << text;
    }
}

TEST(DiskLayout, ParsesPartitionsInTableOrder) {
    const DiskLayout layout = parse_disk_layout(
        "ordinal\tslot\ttype\tstart\tlength\tsource\n"
        "1\t1\t7\t1048576\t33554432\tntfs.img\n"
        "-\t2\t5\t34603008\t95420416\t-\n"
        "2\t5\t12\t35651584\t41943040\tfat32.img\n"
        "3\t4\t135\t171966464\t4194304\t-\n",
        "test");
    ASSERT_EQ(layout.rows.size(), 4u);
    EXPECT_FALSE(layout.rows[1].ordinal.has_value());
    EXPECT_EQ(layout.rows[1].type, 5u);
    EXPECT_EQ(layout.partition(2).start, 35651584u);
    EXPECT_EQ(layout.partition(2).source, "fat32.img");
    EXPECT_EQ(layout.partition(2).slot, 5u);
    EXPECT_FALSE(layout.partition(3).source.has_value());
    EXPECT_THROW(layout.partition(4), std::runtime_error);
    EXPECT_THROW(parse_disk_layout("ordinal\tslot\n", "test"), std::runtime_error);
}

TEST(Fixtures, MissingFolderOrFileFailsClearly) {
    const char* saved = std::getenv("TOBRIN_FIXTURES");
    const std::string folder = saved ? saved : "";
    unsetenv("TOBRIN_FIXTURES");
    EXPECT_THROW(fixture_path("ntfs.img"), std::runtime_error);
    setenv("TOBRIN_FIXTURES", "/nonexistent-fixture-folder", 1);
    EXPECT_THROW(fixture_path("ntfs.img"), std::runtime_error);
    if (saved) setenv("TOBRIN_FIXTURES", folder.c_str(), 1);
}

}  // namespace
}  // namespace tobrin::testing
