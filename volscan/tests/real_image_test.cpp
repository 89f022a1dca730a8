// Whole volumes made by mkntfs/ntfs-3g and mkfs.fat/mtools, checked against the
// manifests the fixture builder wrote from the finished images.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "context.h"
#include "image_builders.h"
#include "tobrin/testing/fixtures.h"
#include "tobrin/testing/sha256.h"

namespace volscan {
namespace {

using testing::ContextPtr;
using testing::LineSink;
using tobrin::testing::fixture_path;
using tobrin::testing::ManifestRow;
using tobrin::testing::read_file_bytes;
using tobrin::testing::read_manifest;
using tobrin::testing::sha256_hex;

struct Volume {
    const char* image;
    std::uint32_t sector_size;
    FsKind kind;
};

std::string folder_of(const ManifestRow& row) {
    std::string folder = "C:\\";
    for (const char c : row.folder()) folder += c == '/' ? '\\' : c;
    return row.folder().empty() ? folder : folder + "\\";
}

// Files the scan lists: deleted, their record or entry not taken by another file, not
// left out by the skip rule, and (on FAT) holding a first cluster.
bool must_be_listed(const ManifestRow& row, FsKind kind) {
    if (!row.deleted || row.has("record-reused")) return false;
    if (kind == FsKind::ntfs) {
        return !row.has("compressed") && !row.has("sparse") && !row.has("attrlist");
    }
    return !row.has("empty");
}

// A deleted short entry lost its first byte: it shows as "_" and the rest as stored.
std::string listed_name(const ManifestRow& row, FsKind kind) {
    std::string name = row.name();
    if (kind == FsKind::ntfs || !row.has("shortname-only")) return name;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return "_" + name.substr(1);
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1) {
        fields.push_back(line.substr(start, bar - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

class RealImage : public ::testing::TestWithParam<Volume> {};

TEST_P(RealImage, ListsAndRecoversEveryDeletedFile) {
    const Volume& v = GetParam();
    tobrin::platform::DiskSource disk;
    disk.path = fixture_path(std::string(v.image) + ".img").string();
    disk.sector_size = v.sector_size;
    ASSERT_TRUE(tobrin::platform::use_disks({disk}).empty());
    ContextPtr context(InitVolumeInfo("C:"));
    ASSERT_TRUE(context);
    EXPECT_EQ(context->kind, v.kind);
    LineSink::reset();
    ASSERT_EQ(ScanVolume(context.get(), LineSink::take), 1);

    std::map<std::string, std::vector<std::string>> by_path;  // folder + name -> fields
    for (const std::string& line : LineSink::lines) {
        auto fields = split(line);
        ASSERT_EQ(fields.size(), 6u) << line;
        by_path[fields[1] + fields[0]] = fields;
    }
    const auto dir = std::filesystem::temp_directory_path() /
                     ("volscan_real_" + std::to_string(::getpid()) + "_" + v.image);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    std::size_t listed = 0;
    for (const ManifestRow& row : read_manifest(v.image)) {
        if (!must_be_listed(row, v.kind)) continue;
        ++listed;
        const std::string folder = row.has("orphan") ? "NULL" : folder_of(row);
        const auto found = by_path.find(folder + listed_name(row, v.kind));
        ASSERT_NE(found, by_path.end()) << row.path << " as " << folder << listed_name(row, v.kind);
        const auto& fields = found->second;
        EXPECT_EQ(fields[2], std::to_string(row.size)) << row.path;
        EXPECT_EQ(fields[3], row.time) << row.path;
        if (row.has("clusters-reused")) {
            EXPECT_NE(fields[5], "100%") << row.path;
            continue;
        }
        EXPECT_EQ(fields[5], "100%") << row.path;
        // Written over by a later file that was deleted too: free again, bytes gone.
        if (row.has("overwritten")) continue;
        const auto index = static_cast<std::uint32_t>(std::stoul(fields[4]));
        const std::string target = (dir / (fields[4] + "_" + fields[0])).string();
        ASSERT_EQ(RecoverFile(context.get(), index, target.c_str(), nullptr), 1) << row.path;
        EXPECT_EQ(sha256_hex(read_file_bytes(target)), row.sha256) << row.path;
        std::uint64_t bytes = 0;
        auto* buffer =
            static_cast<std::uint8_t*>(GetFileClusters(context.get(), index, 1, 1, &bytes));
        ASSERT_TRUE(buffer) << row.path;
        ASSERT_GE(bytes, row.size) << row.path;
        EXPECT_EQ(sha256_hex({buffer, row.size}), row.sha256) << row.path;
        ReleaseFileBuffer(buffer);
    }
    EXPECT_EQ(LineSink::lines.size(), listed) << "lines without a manifest row";
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealImage,
                         ::testing::Values(Volume{"ntfs", 512, FsKind::ntfs},
                                           Volume{"fat32", 512, FsKind::fat32},
                                           Volume{"fat16", 512, FsKind::fat16},
                                           Volume{"fat32-4k", 4096, FsKind::fat32}),
                         [](const auto& info) {
                             std::string name = info.param.image;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace volscan
