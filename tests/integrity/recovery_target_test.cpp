// Recovery writes only the target it was given, never replaces an existing file, and
// a name from the disk cannot lead tobrin-cli out of the chosen folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "integrity_support.h"
#include "rawscan.h"
#include "tobrin/platform/bytes.h"
#include "tobrin/platform/machine.h"
#include "tobrin/testing/fixtures.h"
#include "volscan.h"

namespace {

namespace fs = std::filesystem;
using tobrin::cli::test::MakeTempDir;
using tobrin::cli::test::RunCli;
using tobrin::integrity::tree_listing;

void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void use_image(const std::string& name, std::uint32_t sector_size = 512) {
    tobrin::platform::DiskSource source;
    source.path = tobrin::testing::fixture_path(name).string();
    source.sector_size = sector_size;
    ASSERT_TRUE(tobrin::platform::use_disks({source}).empty());
}

int32_t TOBRIN_CALL count_line(const char*) {
    return 1;
}

void TOBRIN_CALL ignore_list(const char*) {}

// Recovering file 0 onto an existing file fails and leaves it as it was; into an
// empty folder it adds exactly the one file named.
template <class Recover>
void expect_only_the_named_target(const std::string& label, Recover recover) {
    SCOPED_TRACE(label);
    const fs::path folder = MakeTempDir("target-" + label);
    const fs::path existing = folder / "existing";
    write_text(existing, "not to be replaced");
    EXPECT_EQ(recover(existing.string()), 0);
    EXPECT_EQ(read_text(existing), "not to be replaced");
    fs::remove(existing);

    const fs::path fresh = folder / "0_recovered";
    EXPECT_EQ(recover(fresh.string()), 1);
    std::vector<fs::path> present;
    for (const auto& entry : fs::directory_iterator(folder)) present.push_back(entry.path());
    EXPECT_EQ(present, std::vector<fs::path>{fresh});
}

TEST(RecoveryTarget, ExportsRefuseAnExistingTargetAndWriteOnlyTheNamedOne) {
    for (const char* image : {"ntfs.img", "fat32.img", "fat16.img"}) {
        use_image(image);
        VolscanContext* context = InitVolumeInfo("C:");
        ASSERT_NE(context, nullptr) << image;
        ASSERT_EQ(ScanVolume(context, count_line), 1);
        expect_only_the_named_target(std::string("volscan-") + image, [&](const std::string& to) {
            return RecoverFile(context, 0, to.c_str(), nullptr);
        });
        ReleaseVolumeInfo(context);
    }
    for (const char* image : {"raw-ntfs-noboot.img", "raw-fat32.img"}) {
        use_image(image);
        void* context = InitRawRecovery(ignore_list);
        ASSERT_NE(context, nullptr);
        ASSERT_NE(PrepareRawRecovery(context, 0), 0) << image;
        ASSERT_NE(ScanRawPartition(context, 0, count_line), 0);
        expect_only_the_named_target(std::string("rawscan-") + image, [&](const std::string& to) {
            return RecoverRawFile(context, 0, 0, to.c_str(), nullptr);
        });
        ReleaseRawRecovery(context);
    }
    tobrin::platform::use_disks({});
}

TEST(RecoveryTarget, CliSkipsExistingTargetsAndDoesNotFollowLinksPlacedThere) {
    const std::string disk = tobrin::testing::fixture_path("fat32.img").string();
    const fs::path first = MakeTempDir("cli-first");
    ASSERT_EQ(RunCli({"--disk", disk, "--quiet", "recover", "C:", "--to", first, "--all"}).status,
              0);
    const auto recovered = tree_listing(first);
    ASSERT_FALSE(recovered.empty());

    // Again into the same folder: every target exists, nothing changes.
    RunCli({"--disk", disk, "recover", "C:", "--to", first, "--all"});
    EXPECT_EQ(tree_listing(first), recovered);

    // A link in place of a target, pointing outside the folder, is left alone.
    const fs::path second = MakeTempDir("cli-second");
    const fs::path outside = fs::path(MakeTempDir("cli-outside")) / "victim";
    write_text(outside, "outside the target folder");
    const std::string taken = fs::directory_iterator(first)->path().filename().string();
    fs::create_symlink(outside, second / taken);
    RunCli({"--disk", disk, "--quiet", "recover", "C:", "--to", second, "--all"});
    EXPECT_EQ(read_text(outside), "outside the target folder");
    EXPECT_TRUE(fs::is_symlink(second / taken));
}

// The copy of fat32.img whose first deleted non-empty file in the root folder has the
// long name "../../escape" (its short entry and checksum stay as they were).
fs::path image_with_climbing_name(const fs::path& folder) {
    const fs::path copy = folder / "climb.img";
    fs::copy_file(tobrin::testing::fixture_path("fat32.img"), copy);
    std::fstream image(copy, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<std::uint8_t> boot(512);
    image.read(reinterpret_cast<char*>(boot.data()), 512);
    const std::uint64_t bytes_per_sector = tobrin::load_le<std::uint16_t>(boot, 0x0B);
    const std::uint64_t root_sector =
        tobrin::load_le<std::uint16_t>(boot, 0x0E) +
        boot[0x10] * std::uint64_t{tobrin::load_le<std::uint32_t>(boot, 0x24)} +
        (tobrin::load_le<std::uint32_t>(boot, 0x2C) - 2) * boot[0x0D];
    const std::uint64_t root = root_sector * bytes_per_sector;
    std::vector<std::uint8_t> entries(bytes_per_sector * boot[0x0D]);
    image.seekg(static_cast<std::streamoff>(root));
    image.read(reinterpret_cast<char*>(entries.data()),
               static_cast<std::streamsize>(entries.size()));
    // Deleted entries start with 0xE5; long-name entries have attributes 0x0F.
    for (std::size_t at = 32; at + 32 <= entries.size(); at += 32) {
        const bool deleted_short = entries[at] == 0xE5 && entries[at + 11] != 0x0F &&
                                   tobrin::load_le<std::uint32_t>(entries, at + 28) > 0;
        const std::size_t before = at - 32;
        if (!deleted_short || entries[before] != 0xE5 || entries[before + 11] != 0x0F) continue;
        const std::u16string name = u"../../escape";
        // The 13 UTF-16 units of a long-name entry sit at 1-10, 14-25 and 28-31.
        constexpr int kUnitAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        for (int i = 0; i < 13; ++i) {
            const char16_t unit = i < static_cast<int>(name.size())
                                      ? name[i]
                                      : (i == static_cast<int>(name.size()) ? 0 : 0xFFFF);
            entries[before + kUnitAt[i]] = unit & 0xFF;
            entries[before + kUnitAt[i] + 1] = unit >> 8;
        }
        image.seekp(static_cast<std::streamoff>(root));
        image.write(reinterpret_cast<const char*>(entries.data()),
                    static_cast<std::streamsize>(entries.size()));
        return copy;
    }
    ADD_FAILURE() << "no deleted long name in the root folder of fat32.img";
    return copy;
}

TEST(RecoveryTarget, CliKeepsANameHoldingParentStepsInsideTheTargetFolder) {
    const fs::path top = MakeTempDir("climb");
    const std::string disk = image_with_climbing_name(top).string();
    const auto scan = RunCli({"--disk", disk, "scan", "C:"});
    ASSERT_NE(scan.out.find("../../escape"), std::string::npos) << scan.out;

    const fs::path target = top / "a" / "b" / "c" / "target";
    fs::create_directories(target / "tree");
    const auto outside = [&] {
        std::vector<std::string> rows;
        for (const std::string& row : tree_listing(top)) {
            if (row.rfind("a/b/c/target", 0) != 0) rows.push_back(row);
        }
        return rows;
    };
    const auto outside_before = outside();
    RunCli({"--disk", disk, "--quiet", "recover", "C:", "--to", target, "--all"});
    RunCli(
        {"--disk", disk, "--quiet", "--tree", "recover", "C:", "--to", target / "tree", "--all"});
    EXPECT_EQ(outside(), outside_before);
    EXPECT_FALSE(fs::exists(top / "a" / "b" / "escape"));
}

}  // namespace
