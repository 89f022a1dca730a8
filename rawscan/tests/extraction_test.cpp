#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "rawscan.h"
#include "sample_images.h"

namespace rawscan {
namespace {

using namespace rawscan::testing;
namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int progress_calls = 0;
int count_progress(int) {
    ++progress_calls;
    return 1;
}
int stop_progress(int) {
    ++progress_calls;
    return 0;
}

// Partition 0: the sample FAT32 partition; partition 1: the sample NTFS partition.
class ExtractionTest : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kFat = 0, kNtfs = 1;

    void SetUp() override {
        tobrin::platform::system_settings() = {};
        FatImage fat = sample_fat();
        NtfsImage ntfs = sample_ntfs();
        auto ntfs_disk = memory_disk(mbr_disk(ntfs.bytes(), 0x07), false);
        ntfs_device_ = std::dynamic_pointer_cast<tobrin::platform::MemoryDevice>(ntfs_disk.device);
        tobrin::platform::use_disks({memory_disk(mbr_disk(fat.bytes(), 0x0C), false), ntfs_disk});
        ctx_ = InitRawRecovery(keep_list);
        ASSERT_EQ(PrepareRawRecovery(ctx_, kFat), 1);
        ASSERT_EQ(PrepareRawRecovery(ctx_, kNtfs), 1);
        ASSERT_EQ(ScanRawPartition(ctx_, kFat, nullptr), 1);
        ASSERT_EQ(ScanRawPartition(ctx_, kNtfs, nullptr), 1);
        dir_ =
            fs::path(::testing::TempDir()) / ("rawscan_extraction_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        progress_calls = 0;
    }
    void TearDown() override {
        ReleaseRawRecovery(ctx_);
        fs::remove_all(dir_);
    }
    std::string target(const char* name) const { return (dir_ / name).string(); }
    std::string get(std::uint32_t partition, std::uint32_t file, std::uint32_t count, int whole) {
        std::uint64_t size = 0;
        void* buffer = GetRawFileCluster(ctx_, partition, file, count, whole, &size);
        if (!buffer) return "null";
        std::string bytes(static_cast<char*>(buffer), size);
        EXPECT_EQ(ReleaseRawFileBuffer(buffer), 1);
        return bytes;
    }

    void* ctx_ = nullptr;
    std::shared_ptr<tobrin::platform::MemoryDevice> ntfs_device_;
    fs::path dir_;
};

TEST_F(ExtractionTest, RecoverCopiesWholeFiles) {
    struct Case {
        std::uint32_t partition, file;
        std::string contents;
        int progress;
    };
    const Case cases[] = {
        {kFat, 0, std::string(512, 'a') + std::string(88, 'b'), 2},    // chain of two clusters
        {kFat, 2, std::string(512, 'c') + std::string(188, 'd'), 2},   // deleted: contiguous
        {kFat, 4, "lost", 1},                                          // in a deleted folder
        {kNtfs, 1, "alpha", 1},                                        // resident
        {kNtfs, 8, std::string(512, 'p') + std::string(188, 'q'), 2},  // non-resident
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = target(("f" + std::to_string(n++)).c_str());
        progress_calls = 0;
        EXPECT_EQ(RecoverRawFile(ctx_, c.partition, c.file, path.c_str(), count_progress), 1);
        EXPECT_EQ(read_all(path), c.contents) << c.partition << "/" << c.file;
        EXPECT_EQ(progress_calls, c.progress) << c.partition << "/" << c.file;
    }
}

TEST_F(ExtractionTest, StopOnFirstProgressCallKeepsOneCluster) {
    const std::string fat = target("fat"), ntfs = target("ntfs");
    EXPECT_EQ(RecoverRawFile(ctx_, kFat, 0, fat.c_str(), stop_progress), 1);
    EXPECT_EQ(read_all(fat), std::string(512, 'a'));
    EXPECT_EQ(RecoverRawFile(ctx_, kNtfs, 8, ntfs.c_str(), stop_progress), 1);
    EXPECT_EQ(read_all(ntfs), std::string(512, 'p'));
    EXPECT_EQ(progress_calls, 2);
}

TEST_F(ExtractionTest, ExistingTargetIsRefusedAndKept) {
    const std::string path = target("exists");
    std::ofstream(path) << "keep me";
    EXPECT_EQ(RecoverRawFile(ctx_, kFat, 1, path.c_str(), nullptr), 0);
    EXPECT_EQ(RecoverRawFile(ctx_, kNtfs, 1, path.c_str(), nullptr), 0);
    EXPECT_EQ(read_all(path), "keep me");
}

TEST_F(ExtractionTest, EmptyFilesAreCreated) {
    for (const auto& [partition, file] : {std::pair{kFat, 5u}, std::pair{kNtfs, 7u}}) {
        const std::string path = target(("empty" + std::to_string(partition)).c_str());
        EXPECT_EQ(RecoverRawFile(ctx_, partition, file, path.c_str(), stop_progress), 1);
        EXPECT_TRUE(fs::exists(path));
        EXPECT_EQ(fs::file_size(path), 0u);
    }
    EXPECT_EQ(progress_calls, 0);
}

TEST_F(ExtractionTest, IndexOutOfRange) {
    const std::string path = target("none");
    EXPECT_EQ(RecoverRawFile(ctx_, kFat, 7, path.c_str(), nullptr), 0);   // 7 entries
    EXPECT_EQ(RecoverRawFile(ctx_, kNtfs, 9, path.c_str(), nullptr), 0);  // 9 entries
    EXPECT_EQ(RecoverRawFile(ctx_, 2, 0, path.c_str(), nullptr), 0);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(get(kFat, 7, 1, 0), "null");
    EXPECT_EQ(get(kNtfs, 9, 1, 0), "null");
    EXPECT_EQ(ReleaseRawFileBuffer(nullptr), 0);
}

TEST_F(ExtractionTest, ResidentFileWhoseRecordCannotBeReadAgainFails) {
    // A scan keeps where a small file's value lies; extraction reads its record again.
    constexpr std::uint64_t kPartitionByte = 2048 * 512;
    constexpr std::uint64_t kRecordBytes = 1024;
    constexpr std::uint64_t kAlphaRecord = 17;  // file 1, "a.txt" of the sample volume
    ntfs_device_->fail_reads(kPartitionByte + NtfsImage::kMftByte + kAlphaRecord * kRecordBytes,
                             kRecordBytes);
    const std::string path = target("unreadable");
    EXPECT_EQ(RecoverRawFile(ctx_, kNtfs, 1, path.c_str(), nullptr), 0);
    EXPECT_EQ(read_all(path), "");
    EXPECT_EQ(get(kNtfs, 1, 0, 0), "null");
}

TEST_F(ExtractionTest, GetClustersReturnsWholeClusters) {
    EXPECT_EQ(get(kFat, 1, 1, 0), "hello" + std::string(507, '\0'));
    EXPECT_EQ(get(kFat, 0, 1, 0), std::string(512, 'a'));
    EXPECT_EQ(get(kFat, 0, 0, 1),
              std::string(512, 'a') + std::string(88, 'b') + std::string(424, '\0'));
    EXPECT_EQ(get(kFat, 0, 99, 0).size(), 1024u);
    EXPECT_EQ(get(kFat, 5, 1, 0), "null");    // empty file
    EXPECT_EQ(get(kNtfs, 1, 0, 0), "alpha");  // resident: the value whatever the count
    EXPECT_EQ(get(kNtfs, 8, 1, 0), std::string(512, 'p'));
    EXPECT_EQ(get(kNtfs, 8, 0, 1), std::string(512, 'p') + std::string(512, 'q'));
}

}  // namespace
}  // namespace rawscan
