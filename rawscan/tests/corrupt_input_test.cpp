// Damaged and arbitrary bytes as disks: every walk ends, every read stays inside
// its buffer (run these under the sanitizers), and the engines only report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "rawscan.h"
#include "sample_images.h"

namespace rawscan {
namespace {

using namespace rawscan::testing;
namespace fs = std::filesystem;

int calls_left = 0;
int limited_progress(int) {
    return --calls_left > 0;
}

void flip_bytes(std::vector<std::uint8_t>& bytes, std::uint64_t from, std::uint64_t to, int count,
                std::mt19937& random) {
    std::uniform_int_distribution<std::uint64_t> at(from, to - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int i = 0; i < count; ++i) bytes[at(random)] = static_cast<std::uint8_t>(value(random));
}

// Prepares, scans and extracts from every partition the machine lists.
void exercise_every_partition(const fs::path& dir) {
    void* ctx = InitRawRecovery(keep_list);
    ASSERT_NE(ctx, nullptr);
    int target = 0;
    for (std::uint32_t p = 0; p < 8; ++p) {
        if (PrepareRawRecovery(ctx, p) == 0) continue;
        lines().clear();
        ScanRawPartition(ctx, p, keep_line);
        for (std::uint32_t f = 0; f < lines().size() && f < 64; ++f) {
            std::uint64_t size = 0;
            ReleaseRawFileBuffer(GetRawFileCluster(ctx, p, f, 4, 0, &size));
            calls_left = 8;
            const std::string path = (dir / std::to_string(target++)).string();
            RecoverRawFile(ctx, p, f, path.c_str(), limited_progress);
        }
    }
    ReleaseRawRecovery(ctx);
}

class CorruptInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tobrin::platform::system_settings() = {};
        dir_ = fs::path(::testing::TempDir()) / ("rawscan_corrupt_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(CorruptInputTest, DamagedFat32Partitions) {
    const FatImage sample = sample_fat();
    std::mt19937 random(1);
    for (int round = 0; round < 12; ++round) {
        FatImage img = sample;
        auto& bytes = img.bytes();
        flip_bytes(bytes, 0, 8 * 512, 40, random);  // boot sectors
        flip_bytes(bytes, FatImage::kReserved * 512, (FatImage::kReserved + 2) * 512, 60, random);
        flip_bytes(bytes, img.cluster_offset(2), img.cluster_offset(60), 400, random);
        tobrin::platform::use_disks({memory_disk(mbr_disk(bytes, 0x0C), false)});
        exercise_every_partition(dir_);
    }
}

TEST_F(CorruptInputTest, DamagedNtfsPartitions) {
    NtfsImage sample = sample_ntfs();
    std::mt19937 random(2);
    for (int round = 0; round < 40; ++round) {
        NtfsImage img = sample;
        auto& bytes = img.bytes();
        if (round % 2) flip_bytes(bytes, 0, 512, 8, random);
        flip_bytes(bytes, NtfsImage::kMftByte, NtfsImage::kMftByte + NtfsImage::kRecords * 1024,
                   300, random);
        tobrin::platform::use_disks({memory_disk(mbr_disk(bytes, 0x07), true)});
        exercise_every_partition(dir_);
    }
}

TEST_F(CorruptInputTest, ArbitraryDisks) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> disk(64 * 1024);
        for (auto& b : disk) b = static_cast<std::uint8_t>(byte(random));
        // Plausible tables now and then, pointing into the noise.
        const std::uint8_t types[] = {0x07, 0x0C, 0x0B, 0x05, 0x0F};
        for (int slot = 0; slot < 4; ++slot) {
            disk[446 + 16 * slot + 4] = types[byte(random) % 5];
            put32(disk, 446 + 16 * slot + 8, byte(random) % 128);
            put32(disk, 446 + 16 * slot + 12, byte(random) % 128);
        }
        disk[510] = 0x55;
        disk[511] = 0xAA;
        tobrin::platform::use_disks({memory_disk(disk, round % 3 == 0)});
        exercise_every_partition(dir_);
    }
}

}  // namespace
}  // namespace rawscan
