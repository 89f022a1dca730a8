#pragma once

// Access to the real-image fixtures that tests/fixtures/build_fixtures.py
// writes into the folder named by TOBRIN_FIXTURES. Every function throws
// std::runtime_error with a message naming the file when something is missing
// or malformed, which GoogleTest reports as a failure of the calling test.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tobrin::testing {

// The fixture file of that name (such as "ntfs.img"); it must exist.
std::filesystem::path fixture_path(std::string_view name);

std::vector<std::uint8_t> read_file_bytes(const std::filesystem::path& path);

// One file ever written to a volume image.
struct ManifestRow {
    std::string path;  // relative to the volume root, "/"-separated, UTF-8
    std::uint64_t size = 0;
    std::string sha256;
    bool deleted = false;
    std::string time;  // "M/D/YYYY h:m:s" as an engine prints it, or "-"
    std::vector<std::string> tags;

    bool has(std::string_view tag) const;
    std::string name() const;    // the last path component
    std::string folder() const;  // the path without its last component, "" for the root
};

// Rows of a volume image's manifest; name is the image ("ntfs.img") or its stem ("ntfs").
std::vector<ManifestRow> read_manifest(std::string_view name);
std::vector<ManifestRow> parse_manifest(std::string_view text, std::string_view origin);

// One row of a disk image's layout, in partition-table order.
struct LayoutRow {
    std::optional<std::uint32_t> ordinal;  // position among the listed partitions; none for
                                           // the extended container
    std::uint32_t slot = 0;                // 1-4 primary slots, 5 on logical drives
    std::uint32_t type = 0;                // MBR type byte
    std::uint64_t start = 0;               // bytes from the start of the disk
    std::uint64_t length = 0;              // bytes
    std::optional<std::string> source;     // volume image copied in; its manifest applies
};

struct DiskLayout {
    std::vector<LayoutRow> rows;

    // The partition of that ordinal; throws when the layout has none.
    const LayoutRow& partition(std::uint32_t ordinal) const;
};

// Layout of a disk image; name is the image ("disk.img") or its stem ("disk").
DiskLayout read_disk_layout(std::string_view name);
DiskLayout parse_disk_layout(std::string_view text, std::string_view origin);

}  // namespace tobrin::testing
