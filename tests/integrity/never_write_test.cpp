// Every tobrin-cli command and every engine export, run over each fixture image,
// leaves the image byte for byte as it was; the engines hold images read-only.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "integrity_support.h"
#include "rawscan.h"
#include "tobrin/platform/machine.h"
#include "volscan.h"

namespace {

namespace fs = std::filesystem;
using tobrin::cli::test::MakeTempDir;
using tobrin::cli::test::RunCli;
using tobrin::integrity::Image;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "C:" of every "C:\t..." row of `volumes`.
std::vector<std::string> volume_letters(const std::string& output) {
    std::vector<std::string> letters;
    for (const std::string& line : lines_of(output)) {
        if (line.size() > 2 && line[1] == ':' && line[2] == '\t')
            letters.push_back(line.substr(0, 2));
    }
    return letters;
}

// "3" of every "partition 3\t..." row of `partitions`.
std::vector<std::string> partition_numbers(const std::string& output) {
    constexpr std::string_view kPrefix = "partition ";
    std::vector<std::string> numbers;
    for (const std::string& line : lines_of(output)) {
        if (line.rfind(kPrefix, 0) == 0) {
            numbers.push_back(line.substr(kPrefix.size(), line.find('\t') - kPrefix.size()));
        }
    }
    return numbers;
}

// Every command of tobrin-cli over one disk; recoveries go below `target`.
void run_every_command(const Image& image, const std::string& target) {
    const std::vector<std::string> disk = {"--disk", image.disk_argument()};
    const auto cli = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), disk.begin(), disk.end());
        return RunCli(arguments);
    };
    const auto volumes = cli({"volumes"});
    cli({"--json", "volumes"});
    const auto partitions = cli({"partitions"});
    cli({"--json", "partitions"});
    for (const std::string& letter : volume_letters(volumes.out)) {
        cli({"scan", letter});
        cli({"--json", "scan", letter});
        cli({"--quiet", "recover", letter, "--to", target, "--all"});
        cli({"--quiet", "--tree", "recover", letter, "--to", target, "--all"});
        cli({"cat", letter, "0"});
    }
    for (const std::string& number : partition_numbers(partitions.out)) {
        cli({"raw-scan", number});
        cli({"--quiet", "raw-recover", number, "--to", target, "--all"});
        cli({"cat", number, "0"});
    }
}

TEST(NeverWrite, EveryCliCommandLeavesEveryImageUnchanged) {
    for (const Image& image : tobrin::integrity::fixture_images()) {
        SCOPED_TRACE(image.name());
        const std::string before = tobrin::integrity::file_sha256(image.path);
        run_every_command(image, MakeTempDir("cli-" + image.name()));
        EXPECT_EQ(tobrin::integrity::file_sha256(image.path), before);
    }
}

std::vector<std::uint32_t> g_indexes;  // file indexes of the scan running now

std::optional<std::uint32_t> file_index_of(std::string_view line) {
    const std::size_t last = line.rfind('|');
    if (last == std::string_view::npos || last == 0) return std::nullopt;
    const std::size_t before = line.rfind('|', last - 1);
    if (before == std::string_view::npos) return std::nullopt;
    std::uint32_t index = 0;
    const auto [end, error] = std::from_chars(line.data() + before + 1, line.data() + last, index);
    if (error != std::errc() || end != line.data() + last) return std::nullopt;
    return index;
}

int32_t TOBRIN_CALL take_line(const char* line) {
    if (const auto index = file_index_of(line)) g_indexes.push_back(*index);
    return 1;
}

void TOBRIN_CALL ignore_list(const char*) {}

// Enough files per volume to reach every extraction path without copying whole images.
constexpr std::size_t kFilesPerVolume = 40;

std::vector<std::uint32_t> some_indexes() {
    std::vector<std::uint32_t> indexes = g_indexes;
    if (indexes.size() > kFilesPerVolume) indexes.resize(kFilesPerVolume);
    return indexes;
}

void release_buffer(void* buffer, int32_t(TOBRIN_CALL* release)(void*)) {
    if (buffer) release(buffer);
}

void run_volume_exports(char letter, const fs::path& target) {
    const std::string drive{letter, ':'};
    VolscanContext* context = InitVolumeInfo(drive.c_str());
    if (!context) return;
    g_indexes.clear();
    ScanVolume(context, take_line);
    for (const std::uint32_t index : some_indexes()) {
        uint64_t bytes = 0;
        release_buffer(GetFileClusters(context, index, 1, 0, &bytes), ReleaseFileBuffer);
        release_buffer(GetFileClusters(context, index, 0, 1, &bytes), ReleaseFileBuffer);
        QueryFileCoverageRate(context, index);
        const fs::path file = target / (drive.substr(0, 1) + std::to_string(index));
        RecoverFile(context, index, file.c_str(), nullptr);
    }
    ReleaseVolumeInfo(context);

    VolscanSet* set = InitVolumeInfoEx(drive.c_str());
    EXPECT_NE(FindTargetVolume(set, drive.c_str()), nullptr);
    g_indexes.clear();
    ScanVolumeEx(set, take_line, 1, nullptr);
    for (const std::uint32_t index : some_indexes()) {
        uint64_t bytes = 0;
        release_buffer(GetFileClustersEx(set, drive.c_str(), index, 2, 0, &bytes),
                       ReleaseFileBuffer);
        const fs::path file = target / ("ex" + drive.substr(0, 1) + std::to_string(index));
        RecoverFileEx(set, drive.c_str(), index, file.c_str(), nullptr);
    }
    ReleaseVolumeInfoEx(set);
}

// Every prepared engine of the plain family stays open until the end, so that the
// descriptor check sees them all.
void run_raw_exports(const fs::path& target, const fs::path& image) {
    void* context = InitRawRecovery(ignore_list);
    ASSERT_NE(context, nullptr);
    void* manager = InitRawRecoveryEx(ignore_list);
    ASSERT_NE(manager, nullptr);
    const auto partitions =
        static_cast<std::uint32_t>(tobrin::platform::machine().volumes.size() + 4);
    std::string all;
    for (std::uint32_t p = 0; p < partitions; ++p) {
        all += (p ? "|" : "") + std::to_string(p);
        if (!PrepareRawRecovery(context, p)) continue;
        g_indexes.clear();
        ScanRawPartition(context, p, take_line);
        for (const std::uint32_t index : some_indexes()) {
            uint64_t bytes = 0;
            if (void* b = GetRawFileCluster(context, p, index, 1, 0, &bytes))
                ReleaseRawFileBuffer(b);
            if (void* b = GetRawFileCluster(context, p, index, 0, 1, &bytes))
                ReleaseRawFileBuffer(b);
            const fs::path file =
                target / ("raw" + std::to_string(p) + "_" + std::to_string(index));
            RecoverRawFile(context, p, index, file.c_str(), nullptr);
        }
    }
    PrepareRawRecoveryEx(manager, all.c_str());
    g_indexes.clear();
    ScanRawPartitionEx(manager, take_line, 1, nullptr);
    for (std::uint32_t p = 0; p < partitions; ++p) {
        uint64_t bytes = 0;
        if (void* b = GetRawFileClusterEx(manager, p, 0, 1, 0, &bytes)) ReleaseRawFileBuffer(b);
        const fs::path file = target / ("rawex" + std::to_string(p));
        RecoverRawFileEx(manager, p, 0, file.c_str(), nullptr);
    }
    EXPECT_EQ(tobrin::integrity::writable_descriptors(image), std::vector<int>{});
    ReleaseRawRecoveryEx(manager);
    ReleaseRawRecovery(context);
}

TEST(NeverWrite, EveryEngineExportLeavesEveryImageUnchangedAndHoldsItReadOnly) {
    for (const Image& image : tobrin::integrity::fixture_images()) {
        SCOPED_TRACE(image.name());
        const std::string before = tobrin::integrity::file_sha256(image.path);
        tobrin::platform::DiskSource source;
        source.path = image.path.string();
        source.sector_size = image.sector_size;
        ASSERT_TRUE(tobrin::platform::use_disks({source}).empty());
        ASSERT_GT(tobrin::integrity::descriptors_on(image.path), 0u);
        const fs::path target = MakeTempDir("exports-" + image.name());
        for (const auto& volume : tobrin::platform::machine().volumes) {
            run_volume_exports(volume.letter, target);
        }
        run_raw_exports(target, image.path);
        EXPECT_EQ(tobrin::integrity::writable_descriptors(image.path), std::vector<int>{});
        tobrin::platform::use_disks({});
        EXPECT_EQ(tobrin::integrity::file_sha256(image.path), before);
    }
}

}  // namespace
