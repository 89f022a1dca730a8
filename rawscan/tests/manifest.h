// The real-image fixtures' manifests (path, size, sha256, deleted, time, tags) and
// the digest their rows carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rawscan::testing {

struct ManifestRow {
    std::string path;  // "Docs/Old/report.doc"
    std::uint64_t size = 0;
    std::string sha256;
    bool deleted = false;
    std::string time;  // "-" when unknown
    std::string tags;  // comma-separated, "-" for none
    bool has(std::string_view tag) const;
};

// TOBRIN_FIXTURES/name.
std::string fixture_path(const std::string& name);
// NAME.manifest.tsv for NAME.img.
std::vector<ManifestRow> read_manifest(const std::string& image);
std::vector<std::vector<std::string>> read_tsv(const std::string& path);
std::string read_file(const std::string& path);
std::string sha256_hex(std::string_view bytes);

}  // namespace rawscan::testing
