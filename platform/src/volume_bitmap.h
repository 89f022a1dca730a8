// The volume services a mounted file system offers: its record size and its
// allocation bitmap, read from the volume's own metadata.
#pragma once

#include <optional>

#include "tobrin/platform/device.h"
#include "tobrin/platform/handle.h"

namespace tobrin::platform {

struct NtfsBoot {
    std::uint32_t bytes_per_sector = 0;
    std::uint32_t cluster_size = 0;
    std::uint64_t mft_cluster = 0;
    std::uint64_t total_sectors = 0;
    std::uint32_t record_size = 0;
};

std::optional<NtfsBoot> read_ntfs_boot(const BlockDevice& volume);
std::optional<VolumeBitmap> read_volume_bitmap(const BlockDevice& volume,
                                               std::uint32_t sector_size);

}  // namespace tobrin::platform
