// Recognising NTFS and FAT boot sectors. Both checks take the partition's length in
// sectors, since a boot sector that claims more than its partition is not trusted.
#pragma once

#include <cstdint>
#include <optional>

#include "tobrin/platform/bytes.h"

namespace rawscan {

// BPB offsets shared by FAT and NTFS boot sectors.
namespace bpb {
inline constexpr std::uint64_t kBytesPerSector = 11;     // u16
inline constexpr std::uint64_t kSectorsPerCluster = 13;  // u8
inline constexpr std::uint64_t kReservedSectors = 14;    // u16
inline constexpr std::uint64_t kFatCount = 16;           // u8
inline constexpr std::uint64_t kRootEntries = 17;        // u16
inline constexpr std::uint64_t kTotalSectors16 = 19;     // u16
inline constexpr std::uint64_t kMedia = 21;              // u8
inline constexpr std::uint64_t kFatSize16 = 22;          // u16
inline constexpr std::uint64_t kTotalSectors32 = 32;     // u32
inline constexpr std::uint64_t kFatSize32 = 36;          // u32
// NTFS
inline constexpr std::uint64_t kNtfsOemId = 3;          // "NTFS    "
inline constexpr std::uint64_t kNtfsTotalSectors = 40;  // u64
inline constexpr std::uint64_t kNtfsMftCluster = 48;    // u64
inline constexpr std::uint64_t kNtfsMirrCluster = 56;   // u64
inline constexpr std::uint64_t kNtfsRecordSize = 64;    // s8: clusters, or 2^-n bytes
inline constexpr std::uint64_t kNtfsIndexSize = 68;     // s8
}  // namespace bpb

enum class FatKind : int { none = 0, fat32 = 1, fat16 = 2, fat12 = 3 };

// What kind of FAT the sector describes; none unless every field is plausible and
// its total sector count equals the partition's.
FatKind classify_fat_boot_sector(tobrin::Bytes sector, std::uint64_t partition_sectors);

bool ntfs_boot_sector_valid(tobrin::Bytes sector, std::uint32_t sector_size,
                            std::uint64_t partition_sectors);

// 1, 2, 4, ..., 128.
bool is_cluster_factor(std::uint64_t sectors_per_cluster);

// Sectors per cluster taken from the boot sectors: the valid boot sector's, else (when
// only the backup is valid) the backup's, else the value both hold; each only when it
// is a cluster factor not below `least`. Nullopt when none qualifies: the caller then
// estimates the cluster size.
std::optional<std::uint64_t> boot_sectors_per_cluster(bool boot_valid, bool backup_valid,
                                                      std::uint8_t boot, std::uint8_t backup,
                                                      std::uint64_t least);

// The MFT record size coded in an NTFS boot sector's byte 64; nullopt when the code
// is not one the boot-sector check admits.
std::optional<std::uint64_t> ntfs_record_size(std::int8_t code, std::uint64_t cluster_size);

}  // namespace rawscan
