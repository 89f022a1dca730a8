#include "ntfs_rawscan.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

#include "boot_sectors.h"
#include "tobrin/platform/files.h"
#include "tobrin/platform/system.h"
#include "tobrin/platform/text.h"

namespace rawscan::ntfs {
namespace {

using tobrin::load_le;
namespace platform = tobrin::platform;

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
// The search for the MFT gives up beyond this sector.
constexpr std::uint64_t kSearchLimit = 0x60000A;
// Larger record sizes are taken as corrupt values.
constexpr std::uint64_t kMaxRecordSize = 64 * 1024;
constexpr std::uint64_t kWalkBlockBytes = 256 * 1024;
constexpr std::uint64_t kReservedFiles = std::uint64_t{1} << 20;

bool windows2000() {
    const auto os = platform::os_version();
    return os.major == 5 && os.minor == 0;
}

std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return a * b;
}

bool usable_record_size(std::uint64_t size) {
    return size >= 512 && size <= kMaxRecordSize && size % 512 == 0;
}

platform::CalendarTime line_time(std::uint64_t filetime) {
    return platform::filetime_to_local(filetime).value_or(platform::CalendarTime{});
}

// A parent reference leads to a folder only while the folder record still holds
// the same folder: same sequence number, or one lower once the folder was deleted.
bool reference_matches(std::uint64_t reference, const NtfsFolderEntry& folder) {
    const std::uint16_t sequence = sequence_of(reference);
    return sequence == folder.sequence ||
           (static_cast<std::uint16_t>(sequence + 1) == folder.sequence && !folder.in_use);
}

}  // namespace

int CRawscan::Prepare(std::uint32_t disk_index, const char* root, const std::uint64_t* start,
                      const std::uint64_t* length) {
    Reset();
    if (!root || !start || !length) return 0;
    root_.assign(root, strnlen(root, 3));
    wide_root_ = platform::ansi_to_utf16(root_);
    disk_ = PartitionDisk::open(disk_index, *start, *length);
    if (!disk_) return 0;
    const std::uint32_t sector_size = disk_->sector_size();
    boot_.assign(sector_size, 0);
    backup_.assign(sector_size, 0);
    const std::uint64_t sectors = disk_->sectors();
    if (sectors == 0 || disk_->read_sector(0, boot_) != ReadStatus::ok ||
        disk_->read_sector(sectors - 1, backup_) != ReadStatus::ok) {
        Reset();
        return 0;
    }
    if (ntfs_boot_sector_valid(boot_, sector_size, sectors)) flags_ |= kBootValid;
    if (ntfs_boot_sector_valid(backup_, sector_size, sectors)) flags_ |= kBackupValid;
    choose_cluster_size();
    choose_record_size();
    return 1;
}

void CRawscan::Reset() {
    disk_.reset();
    boot_.clear();
    backup_.clear();
    mft_runs_ = {};
    mft_mirr_runs_ = {};
    mirrored_mft_runs_ = {};
    files_.clear();
    folders_.clear();
    flags_ = 0;
    sectors_per_cluster_ = cluster_size_ = record_size_ = 0;
    mft_sector_ = mft_mirr_sector_ = mft_start_sector_ = 0;
}

void CRawscan::choose_cluster_size() {
    const std::uint64_t length = disk_->length();
    const std::uint64_t fallback = length <= 512 * kMiB ? 512
                                   : length <= kGiB     ? 1024
                                   : length <= 2 * kGiB ? 2048
                                                        : 4096;
    const std::uint64_t sector_size = disk_->sector_size();
    const std::uint64_t least = std::max<std::uint64_t>(1, fallback / sector_size);
    if (const auto spc = boot_sectors_per_cluster(flags_ & kBootValid, flags_ & kBackupValid,
                                                  boot_[bpb::kSectorsPerCluster],
                                                  backup_[bpb::kSectorsPerCluster], least)) {
        sectors_per_cluster_ = *spc;
    } else {
        sectors_per_cluster_ = least;
        flags_ |= kClusterSizeEstimated;
    }
    cluster_size_ = sectors_per_cluster_ * sector_size;
}

void CRawscan::choose_record_size() {
    std::optional<std::uint64_t> size;
    if (flags_ & kBootValid) {
        size =
            ntfs_record_size(static_cast<std::int8_t>(boot_[bpb::kNtfsRecordSize]), cluster_size_);
    } else if (flags_ & kBackupValid) {
        size = ntfs_record_size(static_cast<std::int8_t>(backup_[bpb::kNtfsRecordSize]),
                                cluster_size_);
    }
    if (size && usable_record_size(*size)) {
        record_size_ = *size;
        return;
    }
    // Two sectors on 512-byte disks; one sector where sectors are as large as records.
    record_size_ = std::max<std::uint64_t>(1024, disk_->sector_size());
    flags_ |= kRecordSizeEstimated;
}

std::uint64_t CRawscan::record_step() const {
    return std::max<std::uint64_t>(1, record_size_ / disk_->sector_size());
}

std::optional<std::vector<std::uint8_t>> CRawscan::read_record(std::uint64_t sector) const {
    std::vector<std::uint8_t> record(record_size_);
    if (disk_->read_sector(sector, record) != ReadStatus::ok) return std::nullopt;
    return record;
}

std::uint64_t CRawscan::mft_guess() const {
    const std::uint64_t length = disk_->length();
    const std::uint64_t sector_size = disk_->sector_size();
    // Sector 32 of a 512-byte-sector disk: the MFT's usual place on small volumes. Taken
    // in bytes so that disks with larger sectors look at the same place.
    if (windows2000() || length <= 3 * kGiB) return 32 * 512 / sector_size;
    if (length <= 7 * kGiB) return 2 * kGiB / sector_size;
    return 3 * kGiB / sector_size;
}

std::uint64_t CRawscan::mft_candidate(std::uint64_t guess) const {
    const std::uint64_t boot =
        saturating_mul(load_le<std::uint64_t>(boot_, bpb::kNtfsMftCluster), sectors_per_cluster_);
    const std::uint64_t backup =
        saturating_mul(load_le<std::uint64_t>(backup_, bpb::kNtfsMftCluster), sectors_per_cluster_);
    if ((flags_ & kBootValid) && boot >= guess) return boot;
    if (!(flags_ & kBootValid) && (flags_ & kBackupValid) && backup >= guess) return backup;
    if (boot == backup && boot >= guess) return boot;
    return guess;
}

void CRawscan::note_named_record(const std::u16string& name, std::uint64_t sector) {
    if (name == u"$MFT") {
        flags_ |= kMftFound;
        mft_sector_ = sector;
        mft_start_sector_ = sector;
    } else if (name == u"$MFTMirr") {
        flags_ |= kMftMirrFound;
        mft_mirr_sector_ = sector;
    }
}

bool CRawscan::locate_mft() {
    const std::uint64_t guess = mft_guess();
    const std::uint64_t candidate = mft_candidate(guess);
    for (const std::uint64_t sector : {candidate, candidate + record_step()}) {
        const auto record = read_record(sector);
        if (!record || !has_file_magic(*record)) continue;
        if (const auto name = record_name(*record)) note_named_record(*name, sector);
    }
    if (flags_ & (kMftFound | kMftMirrFound)) return true;
    mft_sector_ = mft_mirr_sector_ = 0;
    mft_start_sector_ = guess;
    return search_mft(guess);
}

bool CRawscan::search_mft(std::uint64_t guess) {
    if (guess > kSearchLimit) return false;
    const std::uint64_t step = record_step();
    const std::uint64_t end = std::min(kSearchLimit + 1, disk_->sectors());
    int named = 0;
    for (std::uint64_t i = guess; i < end; i += step) {
        auto record = read_record(i);
        if (!record || !has_file_magic(*record) || !apply_fixup(*record)) continue;
        const auto name = record_name(*record);
        if (!name) continue;
        ++named;
        mft_start_sector_ = i;
        note_named_record(*name, i);
        if (named == 2) {
            // Start the walk before the first of the two, where record 0 would lie.
            mft_start_sector_ = i >= 2 * step ? i - 2 * step : 0;
            return true;
        }
    }
    return false;
}

std::optional<DataRuns> CRawscan::read_system_runs(std::uint64_t sector, bool adopt_geometry) {
    auto record = read_record(sector);
    if (!record) return std::nullopt;
    apply_fixup(*record);
    const auto system = check_system_record(*record, disk_->length(), windows2000());
    if (!system) return std::nullopt;
    const std::uint64_t sector_size = disk_->sector_size();
    if (adopt_geometry) {
        const std::uint64_t implied = system->implied_cluster_size;
        if (implied != 0 && implied % sector_size == 0 && implied != cluster_size_ &&
            is_cluster_factor(implied / sector_size)) {
            cluster_size_ = implied;
            sectors_per_cluster_ = implied / sector_size;
        }
        const std::uint64_t allocated = system->allocated_size;
        if (allocated != 0 && allocated % sector_size == 0 && allocated != record_size_ &&
            usable_record_size(allocated)) {
            record_size_ = allocated;
        }
    }
    return system->data;
}

void CRawscan::read_run_lists() {
    mft_runs_ = {};
    mft_mirr_runs_ = {};
    mirrored_mft_runs_ = {};
    if (flags_ & kMftFound) {
        mft_runs_ = read_system_runs(mft_sector_, true).value_or(DataRuns{});
    }
    if (flags_ & kMftMirrFound) {
        mft_mirr_runs_ = read_system_runs(mft_mirr_sector_, true).value_or(DataRuns{});
        if (!mft_mirr_runs_.resident && !mft_mirr_runs_.runs.empty()) {
            const auto lcn = static_cast<std::uint64_t>(mft_mirr_runs_.runs.front().first_cluster);
            mirrored_mft_runs_ = read_system_runs(saturating_mul(lcn, sectors_per_cluster_), false)
                                     .value_or(DataRuns{});
        }
    }
    flags_ &= ~(kMftRunsUsable | kMirroredRunsUsable);
    if ((flags_ & kMftFound) && runs_inside(mft_runs_)) flags_ |= kMftRunsUsable;
    if ((flags_ & kMftMirrFound) && runs_inside(mirrored_mft_runs_)) {
        flags_ |= kMirroredRunsUsable;
    }
}

// A list without runs describes no records: the walk then falls back to the next source.
bool CRawscan::runs_inside(const DataRuns& list) const {
    if (list.resident || list.runs.empty()) return false;
    const std::uint64_t clusters = disk_->length() / cluster_size_;
    return std::all_of(list.runs.begin(), list.runs.end(), [&](const tobrin::NtfsRun& run) {
        const auto first = static_cast<std::uint64_t>(run.first_cluster);
        const auto count = static_cast<std::uint64_t>(run.cluster_count);
        return first <= clusters && count <= clusters - first;
    });
}

std::uint64_t CRawscan::mft_zone_sectors() const {
    const std::uint64_t length = disk_->length();
    const auto reservation = platform::registry_mft_zone_reservation();
    const bool valid = reservation && *reservation >= 1 && *reservation <= 4;
    std::uint64_t zone = 0;
    if (platform::os_version().major == 6) {
        zone = valid ? std::min(*reservation * 200 * kMiB, length) : 200 * kMiB;
    } else {
        zone = valid ? std::min(length / 8 * *reservation, length) : length / 8;
    }
    return zone / disk_->sector_size();
}

void CRawscan::take_record(tobrin::MutableBytes record, std::uint64_t sector) {
    if (!has_file_magic(record) || !apply_fixup(record)) return;
    const std::uint16_t flags = load_le<std::uint16_t>(record, header::kFlags);
    if (flags & kRecordIsDirectory) {
        if (auto folder = parse_folder_record(record)) {
            folders_.try_emplace(folder->number, std::move(*folder));
        }
    } else if (auto file = parse_file_record(record, cluster_size_)) {
        if (!(flags & kRecordInUse)) file->flags |= 0x1;
        file->record_sector = sector;
        files_.push_back(std::move(*file));
    }
}

std::optional<std::vector<std::uint8_t>> CRawscan::read_resident_value(
    const NtfsFileEntry& file) const {
    auto record = read_record(file.record_sector);
    if (!record || !has_file_magic(*record) || !apply_fixup(*record) ||
        load_le<std::uint16_t>(*record, header::kSequence) != file.sequence) {
        return std::nullopt;
    }
    const auto value = resident_value(*record, file.data);
    if (!value) return std::nullopt;
    return std::vector<std::uint8_t>(value->begin(), value->end());
}

// Reads the records in blocks, where they are parsed in place; a block that cannot be
// read whole is read again record by record, so that an unreadable record costs only itself.
void CRawscan::walk_records(std::uint64_t from, std::uint64_t to) {
    const std::uint64_t step = record_step();
    const std::uint64_t stride = step * disk_->sector_size();
    const std::uint64_t per_block = std::max<std::uint64_t>(1, kWalkBlockBytes / stride);
    std::vector<std::uint8_t> block;
    std::vector<std::uint8_t> record(record_size_);
    for (std::uint64_t i = from; i < to;) {
        const std::uint64_t count = std::min(per_block, (to - i - 1) / step + 1);
        block.resize((count - 1) * stride + record_size_);
        const bool whole = disk_->read_sector(i, block) == ReadStatus::ok;
        for (std::uint64_t k = 0; k < count; ++k) {
            const std::uint64_t sector = i + k * step;
            if (whole) {
                take_record(tobrin::MutableBytes(block).subspan(k * stride, record_size_), sector);
            } else if (disk_->read_sector(sector, record) == ReadStatus::ok) {
                take_record(record, sector);
            }
        }
        if (i > std::numeric_limits<std::uint64_t>::max() - count * step) break;
        i += count * step;
    }
}

void CRawscan::walk_runs(const DataRuns& list) {
    // Runs that repeat each other could make the walk read the partition many times over.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    std::uint64_t budget = disk_->sectors();
    for (const tobrin::NtfsRun& run : list.runs) {
        const std::uint64_t from =
            static_cast<std::uint64_t>(run.first_cluster) * sectors_per_cluster_;
        const std::uint64_t length =
            std::min(static_cast<std::uint64_t>(run.cluster_count) * sectors_per_cluster_, budget);
        spans.emplace_back(from, from + length);
        budget -= length;
    }
    // Room for one file per record, so that the list is not copied while it grows; a
    // crafted run list claiming the whole disk gets no more than a common large MFT's worth.
    files_.reserve(std::min((disk_->sectors() - budget) / record_step(), kReservedFiles));
    for (const auto& [from, to] : spans) walk_records(from, to);
}

int CRawscan::Scan(RawFileReportCallback callback) {
    if (!disk_ || cluster_size_ == 0) return 1;
    locate_mft();
    read_run_lists();
    files_.clear();
    folders_.clear();
    if (flags_ & kMftRunsUsable) {
        walk_runs(mft_runs_);
    } else if (flags_ & kMirroredRunsUsable) {
        walk_runs(mirrored_mft_runs_);
    } else {
        const std::uint64_t sectors = disk_->sectors();
        const std::uint64_t zone = std::min(mft_zone_sectors(), sectors);
        const std::uint64_t end =
            mft_start_sector_ > sectors - zone ? sectors : mft_start_sector_ + zone;
        walk_records(mft_start_sector_, end);
    }
    if (callback) report(callback);
    return 1;
}

const NtfsFolderEntry* CRawscan::folder_of(std::uint64_t reference) const {
    const auto it = folders_.find(record_of(reference));
    return it != folders_.end() && reference_matches(reference, it->second) ? &it->second
                                                                            : nullptr;
}

std::string CRawscan::path_of(const NtfsFolderEntry& folder) const {
    std::vector<const std::u16string*> names;
    std::set<std::uint64_t> seen;
    bool rooted = false;
    for (const NtfsFolderEntry* step = &folder; step && seen.insert(step->number).second;
         step = folder_of(step->parent)) {
        if (step->number == kRootFolder) {
            rooted = true;
            break;
        }
        names.push_back(&step->name);
    }
    std::u16string path = rooted ? wide_root_ : u"";
    for (auto name = names.rbegin(); name != names.rend(); ++name) path += **name + u"\\";
    return platform::utf16_to_ansi(path);
}

std::string CRawscan::folder_path(const NtfsFileEntry& file) const {
    const NtfsFolderEntry* folder = folder_of(file.parent);
    return folder ? path_of(*folder) : "NULL";
}

void CRawscan::report(RawFileReportCallback callback) const {
    // Files share their folders: each folder's path is rebuilt once.
    std::unordered_map<std::uint64_t, std::string> paths;
    std::string name, line;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const NtfsFileEntry& file = files_[i];
        std::string_view path = "NULL";
        if (const NtfsFolderEntry* folder = folder_of(file.parent)) {
            const auto [known, added] = paths.try_emplace(folder->number);
            if (added) known->second = path_of(*folder);
            path = known->second;
        }
        name.clear();
        platform::append_ansi(name, file.name);
        write_report_line(line, name, path, file.size, line_time(file.mft_change), i,
                          file.flags & 0x1);
        if (callback(line.c_str()) == 0) return;
    }
}

int CRawscan::Recover(std::uint32_t file_index, const char* target_path,
                      RawProgressCallback progress) {
    if (file_index >= files_.size() || !target_path || !disk_) return 0;
    const NtfsFileEntry& file = files_[file_index];
    auto target = platform::OutputFile::create_new(target_path);
    if (!target) return 0;
    if (file.size == 0) return 1;
    if (file.data.resident) {
        const auto value = read_resident_value(file);
        const bool written = value && !value->empty() && target->write(*value);
        if (progress) progress(0);
        return written ? 1 : 0;
    }
    std::vector<std::uint8_t> cluster(cluster_size_);
    std::uint64_t remaining = file.size;
    for (const tobrin::NtfsRun& run : file.data.runs) {
        const auto first = static_cast<std::uint64_t>(run.first_cluster);
        for (std::uint64_t k = 0; k < static_cast<std::uint64_t>(run.cluster_count); ++k) {
            const std::uint64_t chunk = std::min<std::uint64_t>(remaining, cluster_size_);
            if (first + k > std::numeric_limits<std::uint64_t>::max() / cluster_size_ ||
                disk_->read((first + k) * cluster_size_, cluster) != ReadStatus::ok) {
                return 0;
            }
            if (!target->write(std::span(cluster).first(chunk))) return 0;
            remaining -= chunk;
            if (progress && progress(0) == 0) return 1;
            if (remaining == 0) return 1;
        }
    }
    return 1;
}

void* CRawscan::GetClusters(std::uint32_t file_index, std::uint32_t cluster_count, int whole_file,
                            std::uint64_t* size_out) {
    if (size_out) *size_out = 0;
    if (file_index >= files_.size() || !disk_) return nullptr;
    const NtfsFileEntry& file = files_[file_index];
    if (file.data.resident) {
        const auto value = read_resident_value(file);
        if (!value) return nullptr;
        void* buffer = platform::heap_alloc(value->size());
        if (!buffer) return nullptr;
        if (!value->empty()) std::memcpy(buffer, value->data(), value->size());
        if (size_out) *size_out = value->size();
        return buffer;
    }
    const std::uint64_t total = file.data.cluster_total();
    std::uint64_t wanted = whole_file ? total : std::min<std::uint64_t>(cluster_count, total);
    // No file holds more clusters than its partition.
    wanted = std::min(wanted, disk_->length() / cluster_size_);
    auto* buffer = static_cast<std::uint8_t*>(platform::heap_alloc(wanted * cluster_size_));
    if (!buffer) return nullptr;
    std::uint64_t filled = 0;
    for (const tobrin::NtfsRun& run : file.data.runs) {
        if (wanted == 0) break;
        const std::uint64_t take = std::min(static_cast<std::uint64_t>(run.cluster_count), wanted);
        const auto first = static_cast<std::uint64_t>(run.first_cluster);
        const tobrin::MutableBytes part(buffer + filled, take * cluster_size_);
        if (first > std::numeric_limits<std::uint64_t>::max() / cluster_size_ ||
            disk_->read(first * cluster_size_, part) != ReadStatus::ok) {
            platform::heap_free(buffer);
            return nullptr;
        }
        filled += part.size();
        wanted -= take;
        if (size_out) *size_out = filled;
    }
    return buffer;
}

}  // namespace rawscan::ntfs
