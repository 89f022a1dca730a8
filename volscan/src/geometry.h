// Volume geometry, decoded once from a boot sector and validated against the device.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "outcome.h"
#include "tobrin/platform/bytes.h"

namespace volscan {

// The file-system kind a context carries; the values are part of the interface.
enum class FsKind : std::int32_t { ntfs = 0, fat32 = 1, fat16 = 2 };

struct NtfsGeometry {
    std::uint32_t bytes_per_sector = 0;
    std::uint32_t sectors_per_cluster = 0;
    std::uint32_t bytes_per_cluster = 0;
    std::uint64_t mft_offset = 0;     // byte offset of MFT record 0
    std::uint32_t record_size = 0;    // bytes per MFT record
    std::uint64_t cluster_count = 0;  // clusters the device holds

    // Boot sector layout: bytes per sector u16 @0x0B, sectors per cluster u8 @0x0D,
    // MFT start cluster u64 @0x30.
    static Expected<NtfsGeometry> decode(tobrin::Bytes boot, std::uint32_t record_size,
                                         std::uint64_t device_size);
};

// What differs between FAT16 and FAT32, chosen once per volume.
struct FatTraits {
    FsKind kind;
    std::uint32_t entry_width;              // bytes per FAT entry
    std::uint32_t entry_mask;               // bits of an entry that hold the cluster number
    std::uint32_t bad_cluster;              // entries above this end a chain
    std::uint32_t unfollowed_start;         // a chain starting here is not followed
    std::uint64_t max_file_size;            // larger size fields fail the entry check
    std::atomic<std::int32_t>* keep_going;  // the kind's process-wide continue flag
};

extern const FatTraits kFat32Traits;
extern const FatTraits kFat16Traits;

struct FatGeometry {
    const FatTraits* traits = nullptr;
    std::uint32_t bytes_per_sector = 0;
    std::uint32_t sectors_per_cluster = 0;
    std::uint32_t bytes_per_cluster = 0;
    std::uint32_t reserved_sectors = 0;
    std::uint32_t total_sectors = 0;
    std::uint32_t first_data_sector = 0;
    std::uint32_t root_cluster = 0;       // FAT32
    std::uint32_t root_entry_count = 0;   // FAT16
    std::uint32_t root_first_sector = 0;  // FAT16
    // Highest cluster number whose data lies on the device and inside the volume; chains
    // and folder buffers are bounded by it.
    std::uint32_t max_cluster = 1;

    // BIOS parameter block: bytes per sector u16 @0x0B, sectors per cluster u8 @0x0D,
    // reserved sectors u16 @0x0E, FATs u8 @0x10, root entries u16 @0x11, total sectors
    // u16 @0x13 / u32 @0x20, FAT16 size u16 @0x16, FAT32 size u32 @0x24, root cluster
    // u32 @0x2C.
    static Expected<FatGeometry> decode(tobrin::Bytes boot, FsKind kind, std::uint64_t device_size);

    // First sector of cluster `c`; none below cluster 2, where no data cluster lies.
    std::optional<std::uint64_t> cluster_sector(std::uint32_t c) const;
    std::optional<std::uint64_t> cluster_offset(std::uint32_t c) const;
};

}  // namespace volscan
