// The fixture builder's manifests (path, size, sha256, deleted, time, tags) and the
// digest to check recovered bytes against them.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace volscan::testing {

struct ManifestRow {
    std::string path;  // "Documents/Reports/draft old.doc"
    std::uint64_t size = 0;
    std::string sha256;
    bool deleted = false;
    std::string time;
    std::set<std::string> tags;
    bool has(const std::string& tag) const { return tags.contains(tag); }
};

// The fixture folder (TOBRIN_FIXTURES) joined with `name`; none when the file is absent.
std::optional<std::string> fixture_path(const std::string& name);
std::vector<ManifestRow> read_manifest(const std::string& path);
std::string sha256_hex(std::span<const std::uint8_t> bytes);

}  // namespace volscan::testing
