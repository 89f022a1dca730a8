#include "boot_sectors.h"

#include <cstring>

namespace rawscan {
namespace {

using tobrin::Bytes;
using tobrin::fits;
using tobrin::load_le;

bool valid_media(std::uint8_t media) {
    return media == 0x00 || media == 0x01 || media == 0xF0 || media >= 0xF8;
}

bool valid_bytes_per_sector(std::uint32_t bytes) {
    return bytes >= 128 && bytes <= 4096 && (bytes & (bytes - 1)) == 0;
}

// Byte 64 or 68 of an NTFS boot sector: -31..-9 (2^-n bytes) or a cluster count.
bool valid_ntfs_size_code(std::int8_t code) {
    return (code >= -31 && code <= -9) || (code > 0 && is_cluster_factor(code) && code <= 64);
}

bool all_zero(Bytes sector, std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t i = from; i < to; ++i) {
        if (sector[i] != 0) return false;
    }
    return true;
}

}  // namespace

bool is_cluster_factor(std::uint64_t v) {
    return v != 0 && v <= 128 && (v & (v - 1)) == 0;
}

FatKind classify_fat_boot_sector(Bytes s, std::uint64_t partition_sectors) {
    if (!fits(s, 0, 512)) return FatKind::none;
    const std::uint32_t bytes_per_sector = load_le<std::uint16_t>(s, bpb::kBytesPerSector);
    const std::uint32_t sectors_per_cluster = s[bpb::kSectorsPerCluster];
    const std::uint32_t reserved = load_le<std::uint16_t>(s, bpb::kReservedSectors);
    const std::uint32_t fats = s[bpb::kFatCount];
    const std::uint32_t root_entries = load_le<std::uint16_t>(s, bpb::kRootEntries);
    const std::uint32_t total16 = load_le<std::uint16_t>(s, bpb::kTotalSectors16);
    const std::uint32_t total32 = load_le<std::uint32_t>(s, bpb::kTotalSectors32);
    const std::uint32_t fat_size16 = load_le<std::uint16_t>(s, bpb::kFatSize16);
    const bool plausible = (s[0] == 0xE9 || s[0] == 0xEB || s[0] == 0x49) &&
                           valid_bytes_per_sector(bytes_per_sector) &&
                           is_cluster_factor(sectors_per_cluster) && reserved != 0 && fats != 0 &&
                           (total16 != 0 || total32 != 0) && valid_media(s[bpb::kMedia]) &&
                           (fat_size16 == 0 || root_entries != 0);
    if (!plausible) return FatKind::none;
    // The count in use must describe exactly this partition.
    const std::uint64_t total = total16 != 0 ? total16 : total32;
    if (total != partition_sectors) return FatKind::none;
    const std::uint64_t fat_size =
        fat_size16 != 0 ? fat_size16 : load_le<std::uint32_t>(s, bpb::kFatSize32);
    const std::uint64_t root_sectors =
        (std::uint64_t{root_entries} * 32 + bytes_per_sector - 1) / bytes_per_sector;
    const std::uint64_t meta = reserved + fats * fat_size + root_sectors;
    if (meta > total) return FatKind::none;
    const std::uint64_t clusters = (total - meta) / sectors_per_cluster;
    if (clusters < 4085) return FatKind::fat12;
    return clusters < 65525 ? FatKind::fat16 : FatKind::fat32;
}

bool ntfs_boot_sector_valid(Bytes s, std::uint32_t sector_size, std::uint64_t partition_sectors) {
    if (!fits(s, 0, 512) || std::memcmp(s.data() + bpb::kNtfsOemId, "NTFS    ", 8) != 0) {
        return false;
    }
    if (s[11] != 0 || s[12] > 32 || std::uint32_t{s[12]} * 256 != sector_size) return false;
    const std::uint64_t spc = s[bpb::kSectorsPerCluster];
    if (!is_cluster_factor(spc)) return false;
    if (!all_zero(s, 14, 21) || s[22] != 0 || s[23] != 0 || !all_zero(s, 32, 36)) return false;
    if (load_le<std::uint64_t>(s, bpb::kNtfsTotalSectors) > partition_sectors) return false;
    // Cluster numbers are capped first so that the products cannot wrap.
    const std::uint64_t max_cluster = partition_sectors / spc;
    if (load_le<std::uint64_t>(s, bpb::kNtfsMftCluster) > max_cluster ||
        load_le<std::uint64_t>(s, bpb::kNtfsMirrCluster) > max_cluster) {
        return false;
    }
    return valid_ntfs_size_code(static_cast<std::int8_t>(s[bpb::kNtfsRecordSize])) &&
           valid_ntfs_size_code(static_cast<std::int8_t>(s[bpb::kNtfsIndexSize]));
}

std::optional<std::uint64_t> boot_sectors_per_cluster(bool boot_valid, bool backup_valid,
                                                      std::uint8_t boot, std::uint8_t backup,
                                                      std::uint64_t least) {
    const auto acceptable = [&](std::uint64_t spc) {
        return is_cluster_factor(spc) && spc >= least;
    };
    if (boot_valid && acceptable(boot)) return boot;
    if (!boot_valid && backup_valid && acceptable(backup)) return backup;
    if (boot == backup && acceptable(boot)) return boot;
    return std::nullopt;
}

std::optional<std::uint64_t> ntfs_record_size(std::int8_t code, std::uint64_t cluster_size) {
    if (!valid_ntfs_size_code(code)) return std::nullopt;
    if (code < 0) return std::uint64_t{1} << -code;
    return static_cast<std::uint64_t>(code) * cluster_size;
}

}  // namespace rawscan
