// Helpers shared by the never-write tests: the fixture images as disks, their
// checksums, and the process's open file descriptions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tobrin::integrity {

struct Image {
    std::filesystem::path path;
    std::uint32_t sector_size = 512;

    std::string name() const { return path.filename().string(); }
    // "PATH" or "PATH@4096", as --disk takes it.
    std::string disk_argument() const;
};

// Every *.img of the fixture folder, by name; the 4096-byte-sector image with its size.
std::vector<Image> fixture_images();

std::string file_sha256(const std::filesystem::path& path);

// Descriptors of this process open on `path` with write access.
std::vector<int> writable_descriptors(const std::filesystem::path& path);
// How many descriptors of this process are open on `path`.
std::size_t descriptors_on(const std::filesystem::path& path);

// Every regular file under `root` with its SHA-256, relative paths, sorted; symbolic
// links are listed with their target text instead.
std::vector<std::string> tree_listing(const std::filesystem::path& root);

}  // namespace tobrin::integrity
