// The raw FAT32 engine: rebuilds the layout of a FAT32 partition from whatever
// evidence survives (boot sectors, FAT signatures, directory-like sectors) and
// walks its directory tree from cluster 2.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fat_entries.h"
#include "partition_disk.h"
#include "recovery_engine.h"

namespace rawscan::fat32 {

// State bits.
inline constexpr std::uint32_t kBootValid = 0x1;
inline constexpr std::uint32_t kBackupValid = 0x2;
inline constexpr std::uint32_t kClusterSizeEstimated = 0x4;
inline constexpr std::uint32_t kFat1Missing = 0x8;
inline constexpr std::uint32_t kFat2Missing = 0x10;
inline constexpr std::uint32_t kDataStartKnown = 0x20;
inline constexpr std::uint32_t kFat1Found = 0x40;
inline constexpr std::uint32_t kFat2Found = 0x80;

// Walk modes; they also become the entries' flags.
inline constexpr std::uint32_t kModeFollowChain = 1;
inline constexpr std::uint32_t kModeDeleted = 2;  // also the bit that marks deleted-mode walks
inline constexpr std::uint32_t kModeRootWithFat = 4;
inline constexpr std::uint32_t kModeContiguous = 6;
inline constexpr std::uint32_t kEntryDeleted = 8;

struct FatFileEntry {
    std::uint32_t first_cluster;
    std::uint32_t size;
    std::uint32_t stamp;  // write time in the low half, write date in the high half
    std::uint32_t flags;  // walk mode, plus kEntryDeleted
};
static_assert(sizeof(FatFileEntry) == 16);

class CRawscan final : public CRecoveryEngine {
  public:
    CRawscan() = default;
    ~CRawscan() override { Reset(); }

    int Prepare(std::uint32_t disk_index, const char* root, const std::uint64_t* start,
                const std::uint64_t* length) override;
    void Reset() override;
    int Scan(RawFileReportCallback callback) override;
    int Recover(std::uint32_t file_index, const char* target_path,
                RawProgressCallback progress) override;
    void* GetClusters(std::uint32_t file_index, std::uint32_t cluster_count, int whole_file,
                      std::uint64_t* size_out) override;

    std::uint32_t flags() const { return flags_; }
    std::uint64_t cluster_size() const { return cluster_size_; }
    std::uint64_t fat_size() const { return fat_size_; }
    std::uint64_t data_start() const { return data_start_; }
    std::optional<std::uint64_t> fat_in_use() const { return fat_in_use_; }
    const std::vector<FatFileEntry>& files() const { return files_; }

    // How a cluster list is formed: a folder's (only its first cluster without a FAT),
    // a live file's (contiguous without a FAT), or a deleted file's (always contiguous).
    enum class ListMode { folder, live_file, contiguous };
    std::vector<std::uint32_t> cluster_list(std::uint32_t first, std::uint32_t size,
                                            ListMode mode) const;

  private:
    struct Frame;

    void rebuild_layout();
    void choose_cluster_size();
    void find_first_fat();
    void find_second_fat();
    bool find_data_start();
    void correct_cluster_size();
    std::optional<std::uint64_t> fat_search(std::uint64_t from, std::uint64_t to);
    bool sector_looks_like_directory(std::uint64_t sector, tobrin::Bytes data) const;
    bool sector_has_fat_signature(std::uint64_t sector) const;
    std::uint64_t entries_per_fat_sector() const { return disk_->sector_size() / 4; }
    std::uint64_t cluster_count() const;
    bool cluster_in_partition(std::uint64_t cluster) const;
    std::vector<std::uint32_t> chain(std::uint32_t first) const;
    std::vector<std::uint32_t> contiguous(std::uint32_t first, std::uint32_t size) const;
    bool read_cluster(std::uint32_t cluster, tobrin::MutableBytes out) const;
    std::vector<std::uint8_t> read_clusters(const std::vector<std::uint32_t>& clusters) const;
    std::vector<std::uint32_t> folder_clusters(std::uint32_t first) const;
    bool visit(const std::vector<std::uint32_t>& clusters);
    std::optional<Frame> child_frame(const DirEntry& e, std::uint32_t mode);
    std::vector<std::uint32_t> file_clusters(const FatFileEntry& file) const;
    bool take_file(const DirEntry& e, const std::string& name, std::uint32_t mode,
                   const std::string& path, RawFileReportCallback callback);
    void walk(Frame root, RawFileReportCallback callback);

    std::unique_ptr<PartitionDisk> disk_;
    std::string root_;
    std::uint32_t flags_ = 0;
    std::uint64_t sectors_per_cluster_ = 0, cluster_size_ = 0;
    std::uint64_t fat1_sector_ = 0, fat_size_ = 0, data_start_ = 0;
    std::uint64_t last_non_directory_ = 0;
    std::optional<std::uint64_t> fat_in_use_;
    std::uint64_t fat1_found_at_ = 0, fat2_found_at_ = 0;
    std::vector<std::uint8_t> boot_, backup_;
    std::vector<FatFileEntry> files_;
    std::set<std::uint32_t> visited_;
    bool running_ = false;
    DosNow now_;
};

}  // namespace rawscan::fat32
