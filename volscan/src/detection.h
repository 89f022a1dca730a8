// Recognising NTFS, FAT32 and FAT16 from a volume's boot sector.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "geometry.h"
#include "tobrin/platform/bytes.h"

namespace volscan {

enum class FatClass { none, fat16, fat32 };

// The NTFS boot-sector test; `reported_sector_size` is what the system reports for the
// volume.
bool passes_ntfs_test(tobrin::Bytes sector, std::uint32_t reported_sector_size);

// Classifies a FAT boot sector by its cluster count; FAT12 is reported as none.
FatClass classify_fat(tobrin::Bytes sector);

// Runs the NTFS test, then the FAT classifier for FAT32, then for FAT16, each on the
// first sector of the volume at `root` ("C:\"), read through a handle of its own.
std::optional<FsKind> detect_kind(std::string_view root);

}  // namespace volscan
