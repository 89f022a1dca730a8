// Recognising a volume's boot sector, as the system does before it mounts one.
#pragma once

#include <cstdint>

#include "tobrin/platform/bytes.h"

namespace tobrin::platform {

enum class FileSystem { none, ntfs, fat12, fat16, fat32 };

// A FAT BIOS parameter block, read once; valid only when classify_boot_sector found FAT.
struct FatBpb {
    std::uint32_t bytes_per_sector = 0;
    std::uint32_t sectors_per_cluster = 0;
    std::uint32_t reserved_sectors = 0;
    std::uint32_t fat_count = 0;
    std::uint32_t root_entries = 0;
    std::uint64_t total_sectors = 0;  // the 16-bit count, else the 32-bit one
    std::uint64_t fat_sectors = 0;    // the 16-bit FAT size, else the 32-bit one
    std::uint8_t media = 0;

    static FatBpb read(Bytes sector);
    std::uint64_t data_start() const;  // first sector of cluster 2
    std::uint64_t clusters() const;    // 0 when the metadata does not fit the volume
};

FileSystem classify_boot_sector(Bytes sector);

// The MBR type byte the system reports for a volume of that file system.
std::uint8_t partition_type_of(FileSystem fs);

}  // namespace tobrin::platform
