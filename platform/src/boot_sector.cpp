#include "boot_sector.h"

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
    if (!fits(s, 0, 512) || (s[0] != 0xEB && s[0] != 0xE9)) return FileSystem::none;
    const FatBpb bpb = FatBpb::read(s);
    const bool valid =
        bpb.bytes_per_sector >= 128 && is_power_of_two_upto(bpb.bytes_per_sector, 4096) &&
        is_power_of_two_upto(bpb.sectors_per_cluster, 128) && bpb.reserved_sectors != 0 &&
        bpb.fat_count != 0 && bpb.fat_sectors != 0 && (bpb.media == 0xF0 || bpb.media >= 0xF8);
    const std::uint64_t clusters = valid ? bpb.clusters() : 0;
    if (clusters == 0) return FileSystem::none;
    if (clusters < 4085) return FileSystem::fat12;
    return clusters < 65525 ? FileSystem::fat16 : FileSystem::fat32;
}

}  // namespace

FatBpb FatBpb::read(Bytes s) {
    FatBpb b;
    b.bytes_per_sector = load_le<std::uint16_t>(s, 11);
    b.sectors_per_cluster = load_le<std::uint8_t>(s, 13);
    b.reserved_sectors = load_le<std::uint16_t>(s, 14);
    b.fat_count = load_le<std::uint8_t>(s, 16);
    b.root_entries = load_le<std::uint16_t>(s, 17);
    const std::uint16_t total16 = load_le<std::uint16_t>(s, 19);
    b.total_sectors = total16 ? total16 : load_le<std::uint32_t>(s, 32);
    const std::uint16_t fat16 = load_le<std::uint16_t>(s, 22);
    b.fat_sectors = fat16 ? fat16 : load_le<std::uint32_t>(s, 36);
    b.media = load_le<std::uint8_t>(s, 21);
    return b;
}

std::uint64_t FatBpb::data_start() const {
    const std::uint64_t root_sectors =
        (std::uint64_t{root_entries} * 32 + bytes_per_sector - 1) / bytes_per_sector;
    return reserved_sectors + fat_count * fat_sectors + root_sectors;
}

std::uint64_t FatBpb::clusters() const {
    if (bytes_per_sector == 0 || sectors_per_cluster == 0) return 0;
    const std::uint64_t start = data_start();
    return start < total_sectors ? (total_sectors - start) / sectors_per_cluster : 0;
}

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
