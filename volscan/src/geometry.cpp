#include "geometry.h"

#include <algorithm>

namespace volscan {
namespace {

using tobrin::Bytes;
using tobrin::load_le;

std::atomic<std::int32_t> g_fat32_keep_going{1};
std::atomic<std::int32_t> g_fat16_keep_going{1};

bool is_power_of_two_in(std::uint32_t v, std::uint32_t low, std::uint32_t high) {
    return v >= low && v <= high && (v & (v - 1)) == 0;
}

}  // namespace

const FatTraits kFat32Traits{FsKind::fat32, 4,          0x0FFFFFFF,         0x0FFFFFF7,
                             0x0FFFFFF8,    UINT64_MAX, &g_fat32_keep_going};
const FatTraits kFat16Traits{FsKind::fat16,      2, 0xFFFF, 0xFFF7, 0xFFF8, 0x80000000,
                             &g_fat16_keep_going};

Expected<NtfsGeometry> NtfsGeometry::decode(Bytes boot, std::uint32_t record_size,
                                            std::uint64_t device_size) {
    if (!tobrin::fits(boot, 0, 512)) return Failure::corrupt;
    NtfsGeometry g;
    g.bytes_per_sector = load_le<std::uint16_t>(boot, 0x0B);
    g.sectors_per_cluster = boot[0x0D];
    if (!is_power_of_two_in(g.bytes_per_sector, 256, 8192) ||
        !is_power_of_two_in(g.sectors_per_cluster, 1, 128)) {
        return Failure::corrupt;
    }
    g.bytes_per_cluster = g.bytes_per_sector * g.sectors_per_cluster;
    g.cluster_count = device_size / g.bytes_per_cluster;
    const std::uint64_t mft_cluster = load_le<std::uint64_t>(boot, 0x30);
    if (mft_cluster >= g.cluster_count) return Failure::corrupt;
    g.mft_offset = mft_cluster * g.bytes_per_cluster;
    // Fixups cover every 512-byte block, so a record is a whole number of them.
    if (record_size < 512 || record_size % 512 != 0 || record_size > (1u << 20)) {
        return Failure::corrupt;
    }
    g.record_size = record_size;
    return g;
}

Expected<FatGeometry> FatGeometry::decode(Bytes boot, FsKind kind, std::uint64_t device_size) {
    if (!tobrin::fits(boot, 0, 512) || kind == FsKind::ntfs) return Failure::corrupt;
    FatGeometry g;
    const bool fat32 = kind == FsKind::fat32;
    g.traits = fat32 ? &kFat32Traits : &kFat16Traits;
    g.bytes_per_sector = load_le<std::uint16_t>(boot, 0x0B);
    g.sectors_per_cluster = boot[0x0D];
    g.reserved_sectors = load_le<std::uint16_t>(boot, 0x0E);
    const std::uint64_t fats = boot[0x10];
    if (!is_power_of_two_in(g.bytes_per_sector, 128, 4096) ||
        !is_power_of_two_in(g.sectors_per_cluster, 1, 128) || g.reserved_sectors == 0 ||
        fats == 0) {
        return Failure::corrupt;
    }
    g.bytes_per_cluster = g.bytes_per_sector * g.sectors_per_cluster;
    std::uint64_t first_data = 0;
    if (fat32) {
        first_data = g.reserved_sectors + fats * load_le<std::uint32_t>(boot, 0x24);
        g.root_cluster = load_le<std::uint32_t>(boot, 0x2C);
        g.total_sectors = load_le<std::uint32_t>(boot, 0x20);
    } else {
        g.root_entry_count = load_le<std::uint16_t>(boot, 0x11);
        const std::uint64_t root_first =
            g.reserved_sectors + fats * load_le<std::uint16_t>(boot, 0x16);
        first_data = root_first + std::uint64_t{g.root_entry_count} * 32 / g.bytes_per_sector;
        g.root_first_sector = static_cast<std::uint32_t>(root_first);  // below 2^25
        const std::uint16_t total16 = load_le<std::uint16_t>(boot, 0x13);
        g.total_sectors = total16 ? total16 : load_le<std::uint32_t>(boot, 0x20);
    }
    if (first_data >= g.total_sectors) return Failure::corrupt;
    g.first_data_sector = static_cast<std::uint32_t>(first_data);
    const std::uint64_t device_sectors = device_size / g.bytes_per_sector;
    const std::uint64_t last_sector = std::min<std::uint64_t>(g.total_sectors, device_sectors);
    const std::uint64_t clusters =
        last_sector > first_data ? (last_sector - first_data) / g.sectors_per_cluster : 0;
    // Cluster numbers are stored in 28 (FAT32) or 16 bits.
    g.max_cluster = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(clusters + 1, g.traits->bad_cluster - 1));
    return g;
}

std::optional<std::uint64_t> FatGeometry::cluster_sector(std::uint32_t c) const {
    if (c < 2) return std::nullopt;
    return (std::uint64_t{c} - 2) * sectors_per_cluster + first_data_sector;
}

std::optional<std::uint64_t> FatGeometry::cluster_offset(std::uint32_t c) const {
    const auto sector = cluster_sector(c);
    if (!sector) return std::nullopt;
    return *sector * bytes_per_sector;
}

}  // namespace volscan
