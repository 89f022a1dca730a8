#include "coverage.h"

#include <algorithm>

namespace volscan {
namespace {

using tobrin::platform::VolumeBitmap;

// A unit the bitmap does not cover lies outside the volume: its data cannot be the
// file's any more, so it counts as taken.
bool in_use(const VolumeBitmap& bitmap, std::uint64_t unit) {
    if (unit >= bitmap.clusters || unit / 8 >= bitmap.bits.size()) return true;
    return (bitmap.bits[unit / 8] >> (unit % 8)) & 1;
}

struct Tally {
    std::uint64_t taken = 0;
    std::uint64_t total = 0;
    std::int32_t percent() const {
        return total == 0 ? 0 : static_cast<std::int32_t>(taken * 100 / total);
    }
};

std::int32_t ntfs_rate(const VolumeBitmap& bitmap, const NtfsEntry& entry) {
    if (entry.size == 0 || entry.kind == DataKind::resident) return 0;
    Tally tally;
    for (const tobrin::NtfsRun& run : entry.runs) {
        if (run.cluster_count <= 0) continue;
        const auto first = static_cast<std::uint64_t>(run.first_cluster);
        for (std::uint64_t c = first; c < first + static_cast<std::uint64_t>(run.cluster_count);
             ++c) {
            tally.taken += in_use(bitmap, c);
        }
        tally.total += static_cast<std::uint64_t>(run.cluster_count);
    }
    return tally.percent();
}

std::int32_t fat_rate(const VolumeBitmap& bitmap, const FatEntry& entry,
                      std::uint32_t bytes_per_cluster) {
    if (entry.size == 0) return 0;
    Tally tally;
    tally.total = (std::uint64_t{entry.size} + bytes_per_cluster - 1) / bytes_per_cluster;
    const std::uint64_t first = entry.first_cluster;
    const std::uint64_t end = first + tally.total;
    // Clusters past the bitmap lie outside the volume and are counted as taken without
    // a look, so a size field of 4 GiB costs no more than the volume's cluster count.
    const std::uint64_t mapped_end = std::clamp<std::uint64_t>(bitmap.clusters + 2, first, end);
    for (std::uint64_t c = first; c < mapped_end; ++c) {
        tally.taken += c < 2 || in_use(bitmap, c - 2);
    }
    tally.taken += end - mapped_end;
    return tally.percent();
}

}  // namespace

std::int32_t coverage_rate(VolscanContext& context, std::size_t index) {
    if (!context.bitmap) {
        context.bitmap = context.volume->volume_bitmap();
        if (!context.bitmap) return kRateUnknown;
    }
    if (context.kind == FsKind::ntfs)
        return ntfs_rate(*context.bitmap, context.ntfs().entries[index]);
    const FatVolume& fat = context.fat();
    return fat_rate(*context.bitmap, fat.entries[index], fat.geometry.bytes_per_cluster);
}

}  // namespace volscan
