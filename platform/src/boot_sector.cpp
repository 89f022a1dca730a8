#include "boot_sector.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tobrin::platform {
namespace {

bool is_power_of_two_upto(std::uint32_t v, std::uint32_t max) {
    return v != 0 && v <= max && (v & (v - 1)) == 0;
}

bool is_ntfs(Bytes s) {
    return fits(s, 0, 512) && std::memcmp(s.data() + 3, "NTFS    ", 8) == 0;
}

FileSystem fat_kind(Bytes s) {
    if (!fits(s, 0, 512)) return FileSystem::none;
    const std::uint32_t bytes_per_sector = load_le<std::uint16_t>(s, 11);
    const std::uint32_t sectors_per_cluster = s[13];
    const std::uint32_t reserved = load_le<std::uint16_t>(s, 14);
    const std::uint32_t fats = s[16];
    const std::uint32_t root_entries = load_le<std::uint16_t>(s, 17);
    const std::uint32_t total16 = load_le<std::uint16_t>(s, 19);
    const std::uint32_t fat16_size = load_le<std::uint16_t>(s, 22);
    const std::uint32_t total = total16 ? total16 : load_le<std::uint32_t>(s, 32);
    const std::uint32_t fat_size = fat16_size ? fat16_size : load_le<std::uint32_t>(s, 36);
    const std::uint8_t media = s[21];
    if (s[0] != 0xEB && s[0] != 0xE9) return FileSystem::none;
    if (bytes_per_sector < 128 || !is_power_of_two_upto(bytes_per_sector, 4096)) {
        return FileSystem::none;
    }
    if (!is_power_of_two_upto(sectors_per_cluster, 128) || reserved == 0 || fats == 0) {
        return FileSystem::none;
    }
    if (total == 0 || fat_size == 0 || (media != 0xF0 && media < 0xF8)) return FileSystem::none;
    const std::uint64_t root_sectors =
        (std::uint64_t{root_entries} * 32 + bytes_per_sector - 1) / bytes_per_sector;
    const std::uint64_t meta = reserved + std::uint64_t{fats} * fat_size + root_sectors;
    if (meta >= total) return FileSystem::none;
    const std::uint64_t clusters = (total - meta) / sectors_per_cluster;
    if (clusters < 4085) return FileSystem::fat12;
    return clusters < 65525 ? FileSystem::fat16 : FileSystem::fat32;
}

}  // namespace

FileSystem classify_boot_sector(Bytes sector) {
    if (is_ntfs(sector)) return FileSystem::ntfs;
    return fat_kind(sector);
}

std::uint8_t partition_type_of(FileSystem fs) {
    switch (fs) {
        case FileSystem::ntfs:
            return 7;
        case FileSystem::fat32:
            return 12;
        case FileSystem::fat16:
            return 6;
        case FileSystem::fat12:
            return 1;
        case FileSystem::none:
            break;
    }
    return 0;
}

}  // namespace tobrin::platform
