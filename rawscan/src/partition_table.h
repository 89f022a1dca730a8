// Disks and partitions: the partition table the flat interface indexes, and the
// list text handed to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tobrin/platform/bytes.h"

namespace rawscan {

inline constexpr std::uint32_t kFlagRemovable = 0x1;
inline constexpr std::uint32_t kFlagWholeDisk = 0x2;

inline constexpr std::uint32_t kTypeNtfs = 7;
inline constexpr std::uint32_t kTypeFat32 = 11;
inline constexpr std::uint32_t kTypeFat32Lba = 12;

// Fixed layout: engines receive pointers into the table.
struct PartitionRecord {
    std::uint32_t disk_index;  // 0
    char root[4];              // 4: "C:\" or "NIL"
    std::uint32_t type;        // 8: MBR type of the mounted volume; 0 when none matched
    std::uint32_t flags;       // 12
    std::uint64_t length;      // 16: bytes
    std::uint64_t start;       // 24: byte offset on the disk
};
static_assert(sizeof(PartitionRecord) == 32);
static_assert(offsetof(PartitionRecord, type) == 8 && offsetof(PartitionRecord, start) == 24);

struct MountedVolume {
    char root[4];                    // 0
    std::uint32_t type;              // 4
    std::uint32_t disk_number;       // 8: 255 when unknown
    std::uint32_t partition_number;  // 12
    std::uint64_t start;             // 16
    std::uint64_t length;            // 24
};
static_assert(sizeof(MountedVolume) == 32);

struct DiskPartitionEntry {
    std::uint32_t ordinal;  // 0: 1-based among the disk's accepted partitions
    std::uint32_t flags;    // 4
    std::uint64_t start;    // 8
    std::uint64_t length;   // 16
};
static_assert(sizeof(DiskPartitionEntry) == 24);

struct PartitionTable {
    std::uint32_t disk_count = 0;
    std::vector<PartitionRecord> records;
};

// Reads the registry, the mounted volumes and every disk's partition table; nullopt
// when the registry's disk count cannot be read.
std::optional<PartitionTable> enumerate_partitions();

// "count|disk|root|length|index|type|..."
std::string partition_list_text(const PartitionTable& table);

// Partitions of one disk in walk order; empty when it cannot be opened or read.
std::vector<DiskPartitionEntry> read_disk_partitions(std::uint32_t disk_index);

// Whether sector 0 holds a partition table whose entries fit the disk and follow each other.
bool mbr_table_valid(tobrin::Bytes sector, std::uint32_t sector_size, std::uint64_t disk_size);

// Which engine reads a partition of that type: 7 NTFS, 11 and 12 FAT32.
enum class EngineKind { none, ntfs, fat32 };
EngineKind engine_kind(std::uint32_t type);

// MBR types the raw walk counts as partitions.
bool accepted_partition_type(std::uint8_t type);

}  // namespace rawscan
