#include "fat32_rawscan.h"

#include <algorithm>
#include <unordered_set>

#include "boot_sectors.h"
#include "tobrin/platform/files.h"
#include "tobrin/platform/text.h"

namespace rawscan::fat32 {
namespace {

using tobrin::Bytes;
using tobrin::load_le;
namespace platform = tobrin::platform;

constexpr std::uint64_t kBackupBootSector = 6;
constexpr std::uint64_t kFirstFatSearchEnd = 10000;
constexpr std::uint64_t kDefaultFatStart = 8;
constexpr std::uint64_t kSecondFatSkip = 400;
constexpr std::uint64_t kSecondFatSlack = 2000;
constexpr std::uint64_t kDataStartSearch = 50000;
constexpr std::uint32_t kRootCluster = 2;
constexpr std::uint32_t kEntryMask = 0x0FFFFFFF;
constexpr std::uint32_t kBadCluster = 0x0FFFFFF7;

std::uint64_t saturating_sub(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : 0;
}

}  // namespace

struct CRawscan::Frame {
    std::vector<std::uint8_t> buffer;
    std::uint32_t mode = 0;
    std::size_t path_length = 0;  // of the shared path text, this folder included
    std::uint64_t offset = 0;
};

int CRawscan::Prepare(std::uint32_t disk_index, const char* root, const std::uint64_t* start,
                      const std::uint64_t* length) {
    Reset();
    if (!root || !start || !length) return 0;
    disk_ = PartitionDisk::open(disk_index, *start, *length);
    if (!disk_) {
        Reset();
        return 0;
    }
    boot_.assign(disk_->sector_size(), 0);
    backup_.assign(disk_->sector_size(), 0);
    if (disk_->read_sector(0, boot_) != ReadStatus::ok ||
        disk_->read_sector(kBackupBootSector, backup_) != ReadStatus::ok) {
        Reset();
        return 0;
    }
    const std::uint64_t sectors = disk_->sectors();
    if (classify_fat_boot_sector(boot_, sectors) == FatKind::fat32) flags_ |= kBootValid;
    if (classify_fat_boot_sector(backup_, sectors) == FatKind::fat32) flags_ |= kBackupValid;
    running_ = true;
    root_ = std::string(1, root[0]) + ":\\";
    return 1;
}

void CRawscan::Reset() {
    disk_.reset();
    root_.clear();
    flags_ = 0;
    sectors_per_cluster_ = cluster_size_ = 0;
    fat1_sector_ = fat_size_ = data_start_ = last_non_directory_ = 0;
    fat_in_use_.reset();
    fat1_found_at_ = fat2_found_at_ = 0;
    boot_.clear();
    backup_.clear();
    files_.clear();
    visited_.clear();
    running_ = false;
}

void CRawscan::rebuild_layout() {
    flags_ &= kBootValid | kBackupValid;
    sectors_per_cluster_ = cluster_size_ = 0;
    fat1_sector_ = fat_size_ = data_start_ = last_non_directory_ = 0;
    fat1_found_at_ = fat2_found_at_ = 0;
    fat_in_use_.reset();
    now_ = dos_now();
    choose_cluster_size();
    find_first_fat();
    find_second_fat();
    if (!find_data_start()) return;
    correct_cluster_size();
    if ((flags_ & kFat2Found) && !(flags_ & kFat1Found)) {
        fat_in_use_ = fat2_found_at_;
    } else if (flags_ & kFat1Found) {
        fat_in_use_ = fat1_found_at_;
    }
}

void CRawscan::choose_cluster_size() {
    const std::uint64_t sector_size = disk_->sector_size();
    const std::uint64_t fallback = default_cluster_size(disk_->length());
    // Disks with sectors larger than the default still need one sector per cluster.
    const std::uint64_t least =
        fallback == 0 ? 0 : std::max<std::uint64_t>(1, fallback / sector_size);
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

bool CRawscan::sector_looks_like_directory(std::uint64_t sector, Bytes data) const {
    if (needs_second_sector(data)) {
        std::vector<std::uint8_t> two(2 * data.size());
        if (disk_->read_sector(sector, two) == ReadStatus::ok) {
            return looks_like_directory(two, disk_->sectors(), now_);
        }
    }
    return looks_like_directory(data, disk_->sectors(), now_);
}

bool CRawscan::sector_has_fat_signature(std::uint64_t sector) const {
    std::vector<std::uint8_t> data(disk_->sector_size());
    return disk_->read_sector(sector, data) == ReadStatus::ok && has_fat_signature(data);
}

std::optional<std::uint64_t> CRawscan::fat_search(std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint8_t> data(disk_->sector_size());
    for (std::uint64_t s = from; s <= to; ++s) {
        if (disk_->read_sector(s, data) != ReadStatus::ok) return std::nullopt;
        if (has_fat_signature(data)) return s;
        if (flags_ & kDataStartKnown) continue;
        if (sector_looks_like_directory(s, data)) {
            flags_ |= kDataStartKnown;
        } else {
            last_non_directory_ = s;
        }
    }
    return std::nullopt;
}

void CRawscan::find_first_fat() {
    const std::uint64_t boot = load_le<std::uint16_t>(boot_, bpb::kReservedSectors);
    const std::uint64_t backup = load_le<std::uint16_t>(backup_, bpb::kReservedSectors);
    std::uint64_t from = kDefaultFatStart;
    if (flags_ & kBootValid) {
        from = boot;
    } else if (flags_ & kBackupValid) {
        from = backup;
    } else if (boot == backup && boot > kBackupBootSector) {
        from = boot;
    }
    if (const auto found = fat_search(from, kFirstFatSearchEnd)) {
        flags_ |= kFat1Found;
        fat1_sector_ = fat1_found_at_ = *found;
    } else {
        flags_ |= kFat1Missing;
        fat1_sector_ = 0;
    }
}

void CRawscan::find_second_fat() {
    if (flags_ & kFat1Missing) {
        flags_ |= kFat2Missing;
        return;
    }
    const std::uint64_t per_sector = entries_per_fat_sector();
    const std::uint64_t spc = sectors_per_cluster_;
    const std::uint64_t denominator = per_sector * spc + 2;
    const std::uint64_t estimate =
        (saturating_sub(disk_->sectors(), fat1_sector_) + spc + denominator - 1) / denominator;
    const std::uint64_t boot = load_le<std::uint32_t>(boot_, bpb::kFatSize32);
    const std::uint64_t backup = load_le<std::uint32_t>(backup_, bpb::kFatSize32);
    std::uint64_t expected = estimate;
    if (flags_ & kBootValid) {
        expected = boot != 0 ? boot : estimate;
    } else if (flags_ & kBackupValid) {
        expected = backup != 0 ? backup : estimate;
    } else if (boot != 0 && boot == backup && boot < disk_->sectors()) {
        expected = boot;
    }
    std::uint64_t second = fat1_sector_ + expected;
    if (!sector_has_fat_signature(second)) {
        const auto found =
            fat_search(fat1_sector_ + kSecondFatSkip, fat1_sector_ + expected + kSecondFatSlack);
        if (!found) {
            flags_ |= kFat2Missing;
            return;
        }
        second = *found;
    }
    fat_size_ = second - fat1_sector_;
    flags_ |= kFat2Found;
    fat2_found_at_ = second;
}

bool CRawscan::find_data_start() {
    if (fat1_sector_ != 0 && fat_size_ != 0) {
        data_start_ = fat1_sector_ + 2 * fat_size_;
        flags_ |= kDataStartKnown;
        return true;
    }
    if (flags_ & kDataStartKnown) {
        data_start_ = last_non_directory_ + 1;
        return true;
    }
    const std::uint64_t from = last_non_directory_ != 0 ? last_non_directory_ : kDefaultFatStart;
    std::vector<std::uint8_t> data(disk_->sector_size());
    for (std::uint64_t s = from; s <= last_non_directory_ + kDataStartSearch; ++s) {
        if (disk_->read_sector(s, data) != ReadStatus::ok) return false;
        const bool signature = has_fat_signature(data);
        if (!(flags_ & kFat1Found) && signature) {
            flags_ |= kFat1Found;
            fat1_found_at_ = s;
        } else if ((flags_ & kFat1Found) && !(flags_ & kFat2Found) && s > fat1_found_at_ &&
                   signature) {
            flags_ |= kFat2Found;
            fat2_found_at_ = s;
        }
        if (sector_looks_like_directory(s, data)) {
            flags_ |= kDataStartKnown;
            data_start_ = s;
            return true;
        }
    }
    return false;
}

void CRawscan::correct_cluster_size() {
    if (!(flags_ & kClusterSizeEstimated) || (flags_ & (kFat1Missing | kFat2Missing)) ||
        fat_size_ == 0) {
        return;
    }
    const double data_sectors = static_cast<double>(disk_->sectors()) -
                                static_cast<double>(fat1_sector_) -
                                2.0 * static_cast<double>(fat_size_);
    const double estimate = data_sectors / (static_cast<double>(fat_size_) *
                                            static_cast<double>(entries_per_fat_sector()));
    if (const std::uint64_t spc = corrected_sectors_per_cluster(estimate)) {
        sectors_per_cluster_ = spc;
        cluster_size_ = spc * disk_->sector_size();
        flags_ &= ~kClusterSizeEstimated;
    }
}

std::uint64_t CRawscan::cluster_count() const {
    if (sectors_per_cluster_ == 0) return 0;
    return saturating_sub(disk_->sectors(), data_start_) / sectors_per_cluster_;
}

bool CRawscan::cluster_in_partition(std::uint64_t cluster) const {
    return cluster >= 2 && cluster - 2 < cluster_count();
}

std::vector<std::uint32_t> CRawscan::chain(std::uint32_t first) const {
    std::vector<std::uint32_t> list{first};
    std::unordered_set<std::uint32_t> seen{first};
    const std::uint64_t sector_size = disk_->sector_size();
    std::vector<std::uint8_t> fat_sector(sector_size);
    std::optional<std::uint64_t> loaded;
    std::uint32_t current = first;
    while (true) {
        const std::uint64_t sector = *fat_in_use_ + std::uint64_t{current} * 4 / sector_size;
        if (loaded != sector) {
            if (disk_->read_sector(sector, fat_sector) != ReadStatus::ok) break;
            loaded = sector;
        }
        const std::uint32_t next =
            load_le<std::uint32_t>(fat_sector, std::uint64_t{current} * 4 % sector_size) &
            kEntryMask;
        // A bad-cluster mark, an end mark, a free entry, a cluster outside the partition
        // or one met before all end the chain.
        if (next >= kBadCluster || !cluster_in_partition(next) || !seen.insert(next).second) break;
        list.push_back(next);
        current = next;
    }
    return list;
}

std::vector<std::uint32_t> CRawscan::contiguous(std::uint32_t first, std::uint32_t size) const {
    std::vector<std::uint32_t> list;
    if (cluster_size_ == 0) return list;
    const std::uint64_t wanted =
        std::max<std::uint64_t>(1, (size + cluster_size_ - 1) / cluster_size_);
    for (std::uint64_t k = 0; k < wanted && cluster_in_partition(first + k); ++k) {
        list.push_back(static_cast<std::uint32_t>(first + k));
    }
    return list;
}

std::vector<std::uint32_t> CRawscan::cluster_list(std::uint32_t first, std::uint32_t size,
                                                  ListMode mode) const {
    if (!disk_) return {};
    switch (mode) {
        case ListMode::folder:
            return fat_in_use_ ? chain(first) : std::vector<std::uint32_t>{first};
        case ListMode::live_file:
            return fat_in_use_ ? chain(first) : contiguous(first, size);
        case ListMode::contiguous:
            break;
    }
    return contiguous(first, size);
}

std::vector<std::uint32_t> CRawscan::file_clusters(const FatFileEntry& file) const {
    const bool live = !(file.flags & (kModeDeleted | kEntryDeleted));
    return cluster_list(file.first_cluster, file.size,
                        live ? ListMode::live_file : ListMode::contiguous);
}

bool CRawscan::read_cluster(std::uint32_t cluster, tobrin::MutableBytes out) const {
    if (cluster < 2 || cluster_size_ == 0) return false;
    const std::uint64_t sector = (std::uint64_t{cluster} - 2) * sectors_per_cluster_ + data_start_;
    return disk_->read_sector(sector, out) == ReadStatus::ok;
}

std::vector<std::uint8_t> CRawscan::read_clusters(
    const std::vector<std::uint32_t>& clusters) const {
    std::vector<std::uint8_t> buffer(clusters.size() * cluster_size_);
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        const tobrin::MutableBytes part(buffer.data() + i * cluster_size_, cluster_size_);
        if (!read_cluster(clusters[i], part)) std::fill(part.begin(), part.end(), 0);
    }
    return buffer;
}

std::vector<std::uint32_t> CRawscan::folder_clusters(std::uint32_t first) const {
    // No FAT32 folder holds more than 65536 entries; a longer chain is corrupt.
    constexpr std::uint64_t kMaxFolderBytes = 65536 * kEntrySize;
    auto clusters = cluster_list(first, 0, ListMode::folder);
    const std::uint64_t limit = std::max<std::uint64_t>(1, kMaxFolderBytes / cluster_size_);
    if (clusters.size() > limit) clusters.resize(limit);
    return clusters;
}

bool CRawscan::visit(const std::vector<std::uint32_t>& clusters) {
    if (std::any_of(clusters.begin(), clusters.end(),
                    [&](std::uint32_t c) { return visited_.contains(c); })) {
        return false;
    }
    visited_.insert(clusters.begin(), clusters.end());
    return true;
}

int CRawscan::Scan(RawFileReportCallback callback) {
    if (!disk_) return 0;
    rebuild_layout();
    if (!(flags_ & kDataStartKnown)) return 0;
    if (cluster_size_ == 0) return 1;
    const auto clusters = folder_clusters(kRootCluster);
    if (!visit(clusters)) return 1;
    Frame root{read_clusters(clusters), fat_in_use_ ? kModeRootWithFat : kModeContiguous,
               root_.size(), 0};
    walk(std::move(root), callback);
    return 1;
}

bool CRawscan::take_file(const DirEntry& e, const std::string& name, std::uint32_t mode,
                         const std::string& path, RawFileReportCallback callback) {
    if (e.size() != 0 && e.first_cluster() == 0) return true;
    const std::uint32_t flags = mode | (e.is_deleted() ? kEntryDeleted : 0);
    const std::uint32_t stamp = (std::uint32_t{e.write_date()} << 16) | e.write_time();
    files_.push_back({e.first_cluster(), e.size(), stamp, flags});
    const std::string full = path + name;
    const auto cut = full.rfind('\\');
    if (cut == std::string::npos || !callback) return true;
    const std::string_view whole = full;
    std::string line;
    write_report_line(line, whole.substr(cut + 1), whole.substr(0, cut + 1), e.size(),
                      platform::dos_date_time(e.write_date(), e.write_time()), files_.size() - 1,
                      flags & (kModeDeleted | kEntryDeleted));
    return callback(line.c_str()) != 0;
}

std::optional<CRawscan::Frame> CRawscan::child_frame(const DirEntry& e, std::uint32_t mode) {
    const std::uint32_t first = e.first_cluster();
    if (first <= 2 || std::uint64_t{first} * sectors_per_cluster_ > disk_->sectors()) {
        return std::nullopt;
    }
    const bool deleted = e.is_deleted() || (mode & kModeDeleted);
    const std::uint32_t child_mode = deleted ? kModeDeleted : kModeFollowChain;
    const auto clusters = deleted ? std::vector<std::uint32_t>{first} : folder_clusters(first);
    if (!visit(clusters)) return std::nullopt;
    Frame frame{read_clusters(clusters), child_mode, 0, 0};
    // A folder reached through a deleted entry must still begin like one.
    if (child_mode == kModeDeleted && !(frame.buffer.size() >= kEntrySize &&
                                        DirEntry(Bytes(frame.buffer).first(kEntrySize)).is_dot())) {
        return std::nullopt;
    }
    return frame;
}

void CRawscan::walk(Frame root, RawFileReportCallback callback) {
    std::string path = root_;
    std::vector<Frame> stack;
    stack.push_back(std::move(root));
    std::optional<std::string> long_name;
    while (!stack.empty() && running_) {
        Frame& frame = stack.back();
        const Bytes buffer(frame.buffer);
        if (!tobrin::fits(buffer, frame.offset, kEntrySize) || buffer[frame.offset] == 0) {
            stack.pop_back();
            if (!stack.empty()) path.resize(stack.back().path_length);
            long_name.reset();
            continue;
        }
        const DirEntry e(buffer.subspan(frame.offset, kEntrySize));
        if (e.is_long_name()) {
            if (auto assembled = assemble_long_name(buffer, frame.offset, disk_->sectors(), now_)) {
                long_name = std::move(assembled->name);
                frame.offset += assembled->entries * kEntrySize;
            } else {
                long_name.reset();
                frame.offset += long_name_run_length(buffer, frame.offset) * kEntrySize;
            }
            continue;
        }
        frame.offset += kEntrySize;
        const std::string name = long_name ? *long_name : short_name(e);
        long_name.reset();
        const std::uint8_t kind = e.attribute() & 0x18;
        if (kind == 0) {
            if (!take_file(e, name, frame.mode, path, callback)) running_ = false;
        } else if (kind == 0x10 && !e.is_dot()) {
            const std::uint32_t mode = frame.mode;
            if (auto child = child_frame(e, mode)) {
                path += name + "\\";
                child->path_length = path.size();
                stack.push_back(std::move(*child));
            }
        }
    }
}

int CRawscan::Recover(std::uint32_t file_index, const char* target_path,
                      RawProgressCallback progress) {
    if (file_index >= files_.size() || !target_path || !disk_) return 0;
    const FatFileEntry& file = files_[file_index];
    auto target = platform::OutputFile::create_new(target_path);
    if (!target) return 0;
    if (file.size == 0) return 1;
    const auto clusters = file_clusters(file);
    std::vector<std::uint8_t> cluster(cluster_size_);
    std::uint64_t remaining = file.size;
    for (const std::uint32_t c : clusters) {
        if (!read_cluster(c, cluster)) return 0;
        const std::uint64_t chunk = std::min<std::uint64_t>(remaining, cluster_size_);
        if (!target->write(Bytes(cluster).first(chunk))) return 0;
        remaining -= chunk;
        std::fill(cluster.begin(), cluster.end(), 0);
        if (progress && progress(0) == 0) return 1;
        if (remaining == 0) break;
    }
    return 1;
}

void* CRawscan::GetClusters(std::uint32_t file_index, std::uint32_t cluster_count, int whole_file,
                            std::uint64_t* size_out) {
    if (file_index >= files_.size() || !disk_ || files_[file_index].size == 0) return nullptr;
    const FatFileEntry& file = files_[file_index];
    const auto clusters = file_clusters(file);
    const std::size_t n =
        whole_file || clusters.size() < cluster_count ? clusters.size() : cluster_count;
    auto* buffer = static_cast<std::uint8_t*>(platform::heap_alloc(n * cluster_size_));
    if (!buffer) return nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        const tobrin::MutableBytes part(buffer + i * cluster_size_, cluster_size_);
        if (!read_cluster(clusters[i], part)) std::fill(part.begin(), part.end(), 0);
    }
    if (size_out) *size_out = n * cluster_size_;
    return buffer;
}

}  // namespace rawscan::fat32
