// The promises the engine tests rely on, checked on the built fixtures: every
// kind of case the manifests name is really there, and the disk layouts point
// at copies of their source volumes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tobrin/testing/fixtures.h"
#include "tobrin/testing/sha256.h"

namespace tobrin::testing {
namespace {

std::size_t count_deleted_with(const std::vector<ManifestRow>& rows, std::string_view tag) {
    return static_cast<std::size_t>(std::count_if(
        rows.begin(), rows.end(), [&](const auto& r) { return r.deleted && r.has(tag); }));
}

TEST(FixtureManifests, HoldEveryCaseTheEngineTestsNeed) {
    struct Case {
        const char* volume;
        std::vector<const char*> deleted_tags;
    };
    const std::vector<Case> cases = {
        {"ntfs",
         {"resident", "fragmented", "empty", "in-deleted-folder", "clusters-reused",
          "record-reused", "orphan", "parent-reused", "compressed", "sparse", "attrlist"}},
        {"fat32",
         {"fragmented", "empty", "in-deleted-folder", "clusters-reused", "overwritten",
          "record-reused", "oem-shortname", "shortname-only"}},
        {"fat16",
         {"fragmented", "empty", "in-deleted-folder", "clusters-reused", "overwritten",
          "record-reused", "oem-shortname", "shortname-only"}},
        {"fat32-4k", {"shortname-only"}},
        {"demo-ntfs", {"in-deleted-folder"}},
        {"demo-fat32", {"in-deleted-folder"}},
    };
    for (const Case& c : cases) {
        const std::vector<ManifestRow> rows = read_manifest(c.volume);
        for (const char* tag : c.deleted_tags) {
            EXPECT_GT(count_deleted_with(rows, tag), 0u) << c.volume << ": no deleted " << tag;
        }
        // A listable deleted file always has a time; a lost one never needs one.
        for (const ManifestRow& row : rows) {
            EXPECT_EQ(row.time == "-",
                      row.has("record-reused") || (row.deleted && row.has("attrlist")))
                << c.volume << ": " << row.path;
        }
    }
}

TEST(FixtureManifests, ResidentFilesAreSmall) {
    for (const ManifestRow& row : read_manifest("ntfs")) {
        if (row.has("resident")) {
            EXPECT_LT(row.size, 700u) << row.path;
        }
    }
}

std::vector<std::uint8_t> read_range(const std::filesystem::path& path, std::uint64_t offset,
                                     std::size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

TEST(FixtureLayouts, PartitionsHoldTheirSourceVolumes) {
    for (const char* disk : {"disk", "demo", "raw-ntfs", "raw-fat32"}) {
        const DiskLayout layout = read_disk_layout(disk);
        const std::filesystem::path image = fixture_path(std::string(disk) + ".img");
        for (const LayoutRow& row : layout.rows) {
            if (!row.source) continue;
            const std::filesystem::path source = fixture_path(*row.source);
            EXPECT_EQ(std::filesystem::file_size(source), row.length) << disk << " " << *row.source;
            EXPECT_FALSE(read_manifest(*row.source).empty());
            // Past the boot sector (whose hidden-sectors field differs) the bytes are the same.
            constexpr std::size_t kProbe = 64 * 1024;
            EXPECT_EQ(sha256_hex(read_range(image, row.start + 8192, kProbe)),
                      sha256_hex(read_range(source, 8192, kProbe)))
                << disk << " partition at " << row.start;
        }
    }
}

TEST(FixtureLayouts, DiskListsSixPartitionsAroundOneExtended) {
    const DiskLayout layout = read_disk_layout("disk.img");
    ASSERT_EQ(layout.rows.size(), 7u);
    EXPECT_EQ(std::count_if(layout.rows.begin(), layout.rows.end(),
                            [](const LayoutRow& r) { return !r.ordinal; }),
              1);
    const std::vector<std::uint32_t> types = {7, 12, 6, 7, 12, 0x87};
    for (std::uint32_t ordinal = 1; ordinal <= types.size(); ++ordinal) {
        EXPECT_EQ(layout.partition(ordinal).type, types[ordinal - 1]) << ordinal;
    }
}

}  // namespace
}  // namespace tobrin::testing
