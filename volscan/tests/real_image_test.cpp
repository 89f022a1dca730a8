// Whole volumes made by mkntfs/ntfs-3g and mkfs.fat/mtools, checked against the
// manifests the fixture builder wrote from the finished images.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "context.h"
#include "image_builders.h"
#include "manifest.h"

namespace volscan {
namespace {

using namespace volscan::testing;

struct Volume {
    const char* image;
    std::uint32_t sector_size;
    FsKind kind;
};

std::string basename(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    std::string folder = "C:\\";
    if (slash == std::string::npos) return folder;
    for (const char c : path.substr(0, slash)) folder += c == '/' ? '\\' : c;
    return folder + "\\";
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
    std::string name = basename(row.path);
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

ByteVector read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), {});
}

// Their clusters went to "Frag/frag gone.bin", which was deleted too: the bitmap shows
// them free again, but their bytes are gone, and the manifest carries no tag for it.
bool overwritten_by_a_deleted_file(const ManifestRow& row, FsKind kind) {
    return kind != FsKind::ntfs && (row.path == "Data/s6.bin" || row.path == "Data/s8.bin");
}

class RealImage : public ::testing::TestWithParam<Volume> {};

TEST_P(RealImage, ListsAndRecoversEveryDeletedFile) {
    const Volume& v = GetParam();
    const auto image = fixture_path(std::string(v.image) + ".img");
    const auto manifest = fixture_path(std::string(v.image) + ".manifest.tsv");
    if (!image || !manifest) GTEST_SKIP() << v.image << " is not built";
    tobrin::platform::DiskSource disk;
    disk.path = *image;
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
    for (const ManifestRow& row : read_manifest(*manifest)) {
        if (!must_be_listed(row, v.kind)) continue;
        ++listed;
        const std::string folder = row.has("orphan") ? "NULL" : folder_of(row.path);
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
        if (overwritten_by_a_deleted_file(row, v.kind)) continue;
        const auto index = static_cast<std::uint32_t>(std::stoul(fields[4]));
        const std::string target = (dir / (fields[4] + "_" + fields[0])).string();
        ASSERT_EQ(RecoverFile(context.get(), index, target.c_str(), nullptr), 1) << row.path;
        EXPECT_EQ(sha256_hex(read_all(target)), row.sha256) << row.path;
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
