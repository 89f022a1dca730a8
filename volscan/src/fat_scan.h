// FAT16 and FAT32: preparing a context and walking the folder tree for deleted files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "context.h"
#include "outcome.h"
#include "tobrin/platform/bytes.h"
#include "volscan.h"

namespace volscan {

// Decodes the geometry from the boot sector read through the volume's own handle.
Expected<FatVolume> init_fat(const tobrin::platform::DeviceHandle& device, FsKind kind);

// Walks the folders from the root and reports each deleted file as it is found. False
// when the root folder cannot be loaded.
bool scan_fat(VolscanContext& context, VolscanLineCallback callback);

// The clusters of the chain from `start`, ended at an end-of-chain or bad-cluster
// value, at a cluster seen before, at a cluster beyond the volume or at a FAT read
// that fails.
std::vector<std::uint32_t> cluster_chain(const tobrin::platform::DeviceHandle& device,
                                         const FatGeometry& geometry, std::uint32_t start);

// Directory entry (32 bytes): short name @0 (8 + 3), attributes u8 @11, first cluster
// high u16 @20, write time u16 @22, write date u16 @24, first cluster low u16 @26,
// size u32 @28.
bool passes_entry_check(tobrin::Bytes entry, const FatGeometry& geometry);

// "NAME.EXT" in the ANSI code page; a deleted entry's first byte shows as "_".
std::string short_name(tobrin::Bytes entry);

}  // namespace volscan
