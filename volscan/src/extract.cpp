#include "extract.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "device_io.h"

namespace volscan {
namespace {

using tobrin::platform::OutputFile;

constexpr std::uint64_t kMaxBufferBytes = std::numeric_limits<std::uint32_t>::max();

Expected<HeapBlock> allocate(std::uint64_t bytes) {
    if (bytes > kMaxBufferBytes) return Failure::too_large;
    HeapBlock block(static_cast<std::uint8_t*>(tobrin::platform::heap_alloc(bytes)));
    if (!block) return Failure::too_large;
    return block;
}

// An unreadable cluster is written as zeros, so every later byte keeps its offset.
Expected<CopyEnd> recover_ntfs(VolscanContext& context, const NtfsEntry& entry, OutputFile& out,
                               VolscanClusterCallback callback) {
    if (entry.kind == DataKind::resident) {
        if (!out.write(entry.resident)) return Failure::write_failed;
        if (callback) callback(0);
        return CopyEnd::done;
    }
    const std::uint64_t cluster_bytes = context.ntfs().geometry.bytes_per_cluster;
    std::vector<std::uint8_t> cluster(cluster_bytes);
    std::uint64_t remaining = entry.size;
    for (const tobrin::NtfsRun& run : entry.runs) {
        for (std::int64_t k = 0; k < run.cluster_count; ++k) {
            const std::uint64_t chunk = std::min(remaining, cluster_bytes);
            remaining -= chunk;
            const std::uint64_t offset =
                static_cast<std::uint64_t>(run.first_cluster + k) * cluster_bytes;
            if (!read_exact(*context.volume, offset, cluster)) {
                std::fill(cluster.begin(), cluster.end(), 0);
            }
            if (!out.write(tobrin::Bytes(cluster).first(chunk))) return Failure::write_failed;
            if (callback && callback(0) == 0) return CopyEnd::stopped;
            if (remaining == 0) return CopyEnd::done;
        }
    }
    return CopyEnd::done;
}

Expected<CopyEnd> recover_fat(VolscanContext& context, const FatEntry& entry, OutputFile& out,
                              VolscanClusterCallback callback) {
    const FatGeometry& g = context.fat().geometry;
    std::vector<std::uint8_t> cluster(g.bytes_per_cluster);
    std::uint64_t offset = g.cluster_offset(entry.first_cluster).value_or(0);
    std::uint64_t remaining = entry.size;
    const bool single = remaining <= g.bytes_per_cluster;
    do {
        if (!read_exact(*context.volume, offset, cluster)) return Failure::read_failed;
        const std::uint64_t chunk = std::min<std::uint64_t>(remaining, g.bytes_per_cluster);
        if (!out.write(tobrin::Bytes(cluster).first(chunk))) return Failure::write_failed;
        // A one-cluster file reports progress once and cannot be stopped half-way.
        if (callback && callback(0) == 0 && !single) return CopyEnd::stopped;
        offset += g.bytes_per_cluster;
        remaining -= chunk;
    } while (remaining > 0);
    return CopyEnd::done;
}

Expected<ClusterData> read_ntfs(VolscanContext& context, const NtfsEntry& entry,
                                std::int32_t max_clusters, bool whole_file) {
    if (entry.kind == DataKind::resident) {
        auto block = allocate(entry.resident.size());
        if (!block) return block.failure();
        std::copy(entry.resident.begin(), entry.resident.end(), block->get());
        return ClusterData{std::move(*block), entry.resident.size()};
    }
    std::uint64_t wanted = 0;
    for (const tobrin::NtfsRun& run : entry.runs)
        wanted += static_cast<std::uint64_t>(run.cluster_count);
    if (!whole_file) {
        if (max_clusters < 0) return Failure::bad_argument;
        wanted = std::min<std::uint64_t>(wanted, static_cast<std::uint64_t>(max_clusters));
    }
    const std::uint64_t cluster_bytes = context.ntfs().geometry.bytes_per_cluster;
    if (wanted > kMaxBufferBytes / cluster_bytes) return Failure::too_large;
    auto block = allocate(wanted * cluster_bytes);
    if (!block) return block.failure();
    std::uint64_t filled = 0;
    for (const tobrin::NtfsRun& run : entry.runs) {
        if (wanted == 0) break;
        const std::uint64_t n = std::min(static_cast<std::uint64_t>(run.cluster_count), wanted);
        const tobrin::MutableBytes place(block->get() + filled, n * cluster_bytes);
        if (!read_exact(*context.volume,
                        static_cast<std::uint64_t>(run.first_cluster) * cluster_bytes, place)) {
            return Failure::read_failed;
        }
        filled += place.size();
        wanted -= n;
    }
    return ClusterData{std::move(*block), filled};
}

Expected<ClusterData> read_fat(VolscanContext& context, const FatEntry& entry,
                               std::int32_t max_clusters, bool whole_file) {
    const FatGeometry& g = context.fat().geometry;
    const std::uint64_t offset = g.cluster_offset(entry.first_cluster).value_or(0);
    std::uint64_t clusters =
        (std::uint64_t{entry.size} + g.bytes_per_cluster - 1) / g.bytes_per_cluster;
    const bool small = entry.size < g.bytes_per_cluster;
    if (small) {
        clusters = 1;
    } else if (!whole_file) {
        if (max_clusters < 0) return Failure::bad_argument;
        clusters = std::min<std::uint64_t>(clusters, static_cast<std::uint64_t>(max_clusters));
    }
    const std::uint64_t bytes = clusters * g.bytes_per_cluster;
    if (bytes > context.volume->size()) return Failure::too_large;
    auto block = allocate(bytes);
    if (!block) return block.failure();
    if (!read_exact(*context.volume, offset, tobrin::MutableBytes(block->get(), bytes))) {
        return Failure::read_failed;
    }
    return ClusterData{std::move(*block), small ? entry.size : bytes};
}

}  // namespace

Expected<CopyEnd> recover_file(VolscanContext& context, std::size_t index,
                               const std::string& target, VolscanClusterCallback callback) {
    auto out = OutputFile::create_new(target);
    if (!out) return Failure::write_failed;
    if (context.kind == FsKind::ntfs) {
        return recover_ntfs(context, context.ntfs().entries[index], *out, callback);
    }
    return recover_fat(context, context.fat().entries[index], *out, callback);
}

Expected<ClusterData> read_clusters(VolscanContext& context, std::size_t index,
                                    std::int32_t max_clusters, bool whole_file) {
    if (context.kind == FsKind::ntfs) {
        return read_ntfs(context, context.ntfs().entries[index], max_clusters, whole_file);
    }
    return read_fat(context, context.fat().entries[index], max_clusters, whole_file);
}

}  // namespace volscan
