// The real-image fixtures and their manifests, as the end-to-end tests read them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tobrin::cli::test {

struct ManifestRow {
    std::string path;  // "Docs/Old/report.doc"
    std::uint64_t size = 0;
    std::string sha256;
    bool deleted = false;
    std::string time;
    std::vector<std::string> tags;
    bool Has(std::string_view tag) const;
};

struct Manifest {
    std::vector<ManifestRow> rows;
};

// The image's path in the folder of TOBRIN_FIXTURES.
std::string FixturePath(const std::string& image);
// NAME.manifest.tsv beside NAME.img.
Manifest ReadManifest(const std::string& image);
std::string ReadFileBytes(const std::string& path);
std::string Sha256Hex(std::string_view bytes);
// Empty when the file cannot be read.
std::string Sha256OfFile(const std::string& path);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tobrin::cli::test
