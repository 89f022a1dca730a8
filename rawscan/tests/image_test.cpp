// The engines against real images made by mkntfs, ntfs-3g, mkfs.fat and mtools:
// every file of the manifests comes back where it should, with its bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "fat32_rawscan.h"
#include "ntfs_rawscan.h"
#include "partition_table.h"
#include "rawscan.h"
#include "test_images.h"
#include "tobrin/testing/fixtures.h"
#include "tobrin/testing/sha256.h"

namespace rawscan {
namespace {

using namespace rawscan::testing;
using tobrin::testing::fixture_path;
using tobrin::testing::ManifestRow;
using tobrin::testing::read_manifest;
namespace fs = std::filesystem;

struct Line {
    std::string name, folder;
    std::uint64_t size = 0;
    std::string time;
    std::uint32_t index = 0;
    bool deleted = false;
};

Line parse_line(const std::string& text) {
    std::vector<std::string> f;
    std::size_t from = 0;
    while (true) {
        const auto bar = text.find('|', from);
        f.push_back(text.substr(from, bar - from));
        if (bar == std::string::npos) break;
        from = bar + 1;
    }
    EXPECT_EQ(f.size(), 6u) << text;
    f.resize(6);
    return {f[0],       f[1], std::stoull(f[2]), f[3], static_cast<std::uint32_t>(std::stoul(f[4])),
            f[5] == "1"};
}

bool same_text(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// FAT short names of deleted entries lose their first byte to "_"; 8.3 names come
// back in upper case.
bool same_name(std::string_view shown, std::string_view real) {
    if (same_text(shown, real)) return true;
    if (shown.empty() || shown[0] != '_' || real.empty()) return false;
    const std::size_t first = (static_cast<unsigned char>(real[0]) & 0xE0) == 0xC0   ? 2
                              : (static_cast<unsigned char>(real[0]) & 0xF0) == 0xE0 ? 3
                                                                                     : 1;
    return same_text(shown.substr(1), real.substr(std::min(first, real.size())));
}

std::vector<std::string> split(std::string_view text, char at) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= text.size()) {
        const auto cut = text.find(at, from);
        if (cut == std::string_view::npos) {
            if (from < text.size()) parts.emplace_back(text.substr(from));
            break;
        }
        parts.emplace_back(text.substr(from, cut - from));
        from = cut + 1;
    }
    return parts;
}

bool line_is_row(const Line& line, const ManifestRow& row, const std::string& root) {
    auto dirs = split(row.path, '/');
    const std::string base = dirs.back();
    dirs.pop_back();
    if (line.size != row.size || !same_name(line.name, base)) return false;
    if (row.has("orphan")) return line.folder == "NULL";
    // The folders of a file system formatted over lie in records the new one reused.
    if (row.has("old-fs") && line.folder == "NULL") return true;
    if (!line.folder.starts_with(root)) return false;
    const auto shown = split(std::string_view(line.folder).substr(root.size()), '\\');
    if (shown.size() != dirs.size()) return false;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        if (!same_name(shown[i], dirs[i])) return false;
    }
    return true;
}

enum class Kind { ntfs, fat32 };

class ImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tobrin::platform::system_settings() = {};
        lines().clear();
        dir_ = fs::path(::testing::TempDir()) / ("rawscan_images_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (ctx_) ReleaseRawRecovery(ctx_);
        fs::remove_all(dir_);
    }

    void open(const std::vector<std::pair<std::string, std::uint32_t>>& disks) {
        std::vector<tobrin::platform::DiskSource> sources;
        for (const auto& [name, sector_size] : disks) {
            tobrin::platform::DiskSource source;
            source.path = fixture_path(name).string();
            source.sector_size = sector_size;
            sources.push_back(source);
        }
        ASSERT_TRUE(tobrin::platform::use_disks(sources).empty());
        ctx_ = InitRawRecovery(keep_list);
        ASSERT_NE(ctx_, nullptr);
    }

    std::vector<Line> scan(std::uint32_t partition) {
        EXPECT_EQ(PrepareRawRecovery(ctx_, partition), 1);
        lines().clear();
        EXPECT_EQ(ScanRawPartition(ctx_, partition, keep_line), 1);
        std::vector<Line> parsed;
        for (const std::string& l : lines()) parsed.push_back(parse_line(l));
        return parsed;
    }

    // SHA-256 of the file recovered into a new target.
    std::string recover(std::uint32_t partition, std::uint32_t index) {
        const std::string path = (dir_ / std::to_string(recovered_++)).string();
        EXPECT_EQ(RecoverRawFile(ctx_, partition, index, path.c_str(), nullptr), 1);
        return tobrin::testing::sha256_hex(tobrin::testing::read_file_bytes(path));
    }

    // Every row the engine can read is listed with its path, time and bytes; every
    // listed file is one of the rows. Returns how many rows of the old file system,
    // which only some records still describe, were found.
    int check_manifest(const std::string& image, std::uint32_t partition, Kind kind,
                       const std::string& root = "C:\\") {
        const auto found = scan(partition);
        int old_found = 0;
        for (const ManifestRow& row : read_manifest(image)) {
            const bool readable = !row.has("record-reused") && !row.has("compressed") &&
                                  !row.has("sparse") && !row.has("attrlist");
            const auto match = std::find_if(found.begin(), found.end(), [&](const Line& l) {
                return line_is_row(l, row, root);
            });
            if (match == found.end()) {
                EXPECT_TRUE(!readable || row.has("old-fs")) << image << ": missing " << row.path;
                continue;
            }
            if (row.has("old-fs")) {
                ++old_found;
            } else {
                EXPECT_EQ(match->deleted, row.deleted) << row.path;
            }
            if (row.time != "-") {
                EXPECT_EQ(match->time, row.time) << row.path;
            }
            const bool guessed_chain = kind == Kind::fat32 && row.deleted && row.has("fragmented");
            if (!row.has("clusters-reused") && !guessed_chain && !row.has("overwritten")) {
                EXPECT_EQ(recover(partition, match->index), row.sha256)
                    << image << ": bytes of " << row.path;
            }
        }
        const auto rows = read_manifest(image);
        for (const Line& l : found) {
            if (l.name.starts_with("$")) continue;  // NTFS system files
            EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                                    [&](const ManifestRow& r) { return line_is_row(l, r, root); }))
                << image << ": unexpected " << l.folder << l.name;
        }
        return old_found;
    }

    void* ctx_ = nullptr;
    fs::path dir_;
    int recovered_ = 0;
};

TEST_F(ImageTest, DiskLayout) {
    open({{"disk.img", 512}, {"fat32.img", 512}});
    const auto layout = tobrin::testing::read_disk_layout("disk.img");
    const auto table = enumerate_partitions();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->disk_count, 2u);
    std::size_t record = 0;
    for (const auto& row : layout.rows) {
        if (!row.ordinal) continue;  // the extended partition itself
        ASSERT_LT(record, table->records.size());
        const PartitionRecord& r = table->records[record++];
        EXPECT_EQ(r.disk_index, 0u);
        EXPECT_EQ(r.start, row.start) << *row.ordinal;
        EXPECT_EQ(r.length, row.length) << *row.ordinal;
        if (row.type < 0x80) {
            EXPECT_EQ(r.type, row.type) << *row.ordinal;
            EXPECT_EQ(r.root[1], ':');
        } else {
            EXPECT_STREQ(r.root, "NIL");
            EXPECT_EQ(r.type, 0u);
        }
    }
    ASSERT_EQ(table->records.size(), record + 1);
    const PartitionRecord& floppy = table->records.back();
    EXPECT_EQ(floppy.disk_index, 1u);
    EXPECT_EQ(floppy.flags, kFlagRemovable | kFlagWholeDisk);
    EXPECT_EQ(floppy.type, kTypeFat32);
    EXPECT_EQ(partition_list(), partition_list_text(*table));
    EXPECT_TRUE(partition_list().starts_with("2|0|C:\\|33554432|0|7|0|D:\\|"));
    EXPECT_EQ(PrepareRawRecovery(ctx_, static_cast<std::uint32_t>(record - 1)), 0);  // the 0x87
}

TEST_F(ImageTest, EveryPartitionOfTheLayeredDisk) {
    open({{"disk.img", 512}});
    check_manifest("ntfs.img", 0, Kind::ntfs);
    check_manifest("fat32.img", 1, Kind::fat32, "D:\\");
    EXPECT_EQ(PrepareRawRecovery(ctx_, 2), 0);  // FAT16: no engine
    check_manifest("ntfs.img", 3, Kind::ntfs, "F:\\");
    check_manifest("fat32.img", 4, Kind::fat32, "G:\\");
}

TEST_F(ImageTest, RawNtfs) {
    for (const char* image : {"raw-ntfs.img", "raw-ntfs-noboot.img", "raw-ntfs-noboots.img"}) {
        if (ctx_) ReleaseRawRecovery(ctx_);
        open({{image, 512}});
        check_manifest(image, 0, Kind::ntfs);
    }
}

TEST_F(ImageTest, NtfsStateAfterDamage) {
    struct Case {
        const char* image;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {"raw-ntfs.img", ntfs::kBootValid | ntfs::kBackupValid | ntfs::kMftFound},
        {"raw-ntfs-noboot.img", ntfs::kBackupValid | ntfs::kMftFound},
        {"raw-ntfs-noboots.img",
         ntfs::kClusterSizeEstimated | ntfs::kRecordSizeEstimated | ntfs::kMftFound},
    };
    for (const Case& c : cases) {
        open({{c.image, 512}});
        auto table = enumerate_partitions();
        ASSERT_TRUE(table && table->records.size() == 1);
        PartitionRecord& r = table->records[0];
        ntfs::CRawscan engine;
        ASSERT_EQ(engine.Prepare(r.disk_index, r.root, &r.start, &r.length), 1);
        engine.Scan(nullptr);
        EXPECT_EQ(engine.flags() & (0xF | ntfs::kMftFound), c.flags) << c.image;
        EXPECT_TRUE(engine.flags() & (ntfs::kMftRunsUsable | ntfs::kMirroredRunsUsable)) << c.image;
        ReleaseRawRecovery(ctx_);
        ctx_ = nullptr;
    }
}

TEST_F(ImageTest, RawNtfsQuickReformatted) {
    open({{"raw-ntfs-reformat.img", 512}});
    EXPECT_GT(check_manifest("raw-ntfs-reformat.img", 0, Kind::ntfs), 0);
}

TEST_F(ImageTest, RawFat32) {
    for (const char* image : {"raw-fat32.img", "raw-fat32-noboot.img", "raw-fat32-reformat.img"}) {
        if (ctx_) ReleaseRawRecovery(ctx_);
        open({{image, 512}});
        check_manifest(image, 0, Kind::fat32);
    }
}

TEST_F(ImageTest, Fat32LayoutRebuiltWithoutBootSectors) {
    open({{"raw-fat32-noboot.img", 512}});
    auto table = enumerate_partitions();
    ASSERT_TRUE(table && table->records.size() == 1);
    PartitionRecord& r = table->records[0];
    fat32::CRawscan engine;
    ASSERT_EQ(engine.Prepare(r.disk_index, r.root, &r.start, &r.length), 1);
    engine.Scan(nullptr);
    EXPECT_EQ(engine.flags(), fat32::kFat1Found | fat32::kFat2Found | fat32::kDataStartKnown);
}

TEST_F(ImageTest, Fat32OnFourKilobyteSectors) {
    open({{"fat32-4k.img", 4096}});
    check_manifest("fat32-4k.img", 0, Kind::fat32);
}

}  // namespace
}  // namespace rawscan
