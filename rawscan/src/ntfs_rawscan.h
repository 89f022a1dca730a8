// The raw NTFS engine: finds the MFT of a partition the system cannot mount, walks
// its records and rebuilds folder paths from the folder records it met.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ntfs_records.h"
#include "partition_disk.h"
#include "recovery_engine.h"

namespace rawscan::ntfs {

// State bits.
inline constexpr std::uint32_t kBootValid = 0x1;
inline constexpr std::uint32_t kBackupValid = 0x2;
inline constexpr std::uint32_t kClusterSizeEstimated = 0x4;
inline constexpr std::uint32_t kRecordSizeEstimated = 0x8;
inline constexpr std::uint32_t kMftFound = 0x20;
inline constexpr std::uint32_t kMftMirrFound = 0x40;
inline constexpr std::uint32_t kMftRunsUsable = 0x80;
inline constexpr std::uint32_t kMirroredRunsUsable = 0x100;

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
    std::uint64_t record_size() const { return record_size_; }
    const std::vector<NtfsFileEntry>& files() const { return files_; }
    // Field 2 of a file's report line.
    std::string folder_path(const NtfsFileEntry& file) const;

  private:
    void choose_cluster_size();
    void choose_record_size();
    std::uint64_t mft_guess() const;
    std::uint64_t mft_candidate(std::uint64_t guess) const;
    std::uint64_t record_step() const;
    bool locate_mft();
    bool search_mft(std::uint64_t guess);
    void note_named_record(const std::u16string& name, std::uint64_t sector);
    std::optional<std::vector<std::uint8_t>> read_record(std::uint64_t sector) const;
    std::optional<DataRuns> read_system_runs(std::uint64_t sector, bool adopt_geometry);
    void read_run_lists();
    bool runs_inside(const DataRuns& runs) const;
    void walk_records(std::uint64_t from, std::uint64_t to);
    void walk_runs(const DataRuns& runs);
    std::uint64_t mft_zone_sectors() const;
    void take_record(tobrin::MutableBytes record, std::uint64_t sector);
    // A resident file's value, read again from its record; nullopt when the record can
    // no longer be read or now holds another file.
    std::optional<std::vector<std::uint8_t>> read_resident_value(const NtfsFileEntry& file) const;
    // The folder a parent reference leads to; null when its record now holds another.
    const NtfsFolderEntry* folder_of(std::uint64_t reference) const;
    // A folder's path up to the root, or as far as its chain of parents holds.
    std::string path_of(const NtfsFolderEntry& folder) const;
    void report(RawFileReportCallback callback) const;

    std::string root_;
    std::u16string wide_root_;
    std::unique_ptr<PartitionDisk> disk_;
    std::vector<std::uint8_t> boot_, backup_;
    std::uint32_t flags_ = 0;
    std::uint64_t sectors_per_cluster_ = 0, cluster_size_ = 0;
    std::uint64_t record_size_ = 0;
    std::uint64_t mft_sector_ = 0, mft_mirr_sector_ = 0, mft_start_sector_ = 0;
    DataRuns mft_runs_, mft_mirr_runs_, mirrored_mft_runs_;
    std::vector<NtfsFileEntry> files_;
    std::unordered_map<std::uint64_t, NtfsFolderEntry> folders_;
};

}  // namespace rawscan::ntfs
