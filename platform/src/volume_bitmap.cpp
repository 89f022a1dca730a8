#include "volume_bitmap.h"

#include <algorithm>
#include <cstring>

#include "boot_sector.h"
#include "tobrin/platform/bytes.h"
#include "tobrin/platform/ntfs.h"

namespace tobrin::platform {
namespace {

constexpr std::uint32_t kBitmapRecord = 6;  // $Bitmap

std::optional<std::vector<std::uint8_t>> read_exact(const BlockDevice& dev, std::uint64_t offset,
                                                    std::uint64_t length) {
    if (length > dev.size()) return std::nullopt;
    std::vector<std::uint8_t> bytes(length);
    if (!dev.read_at(offset, bytes).ok()) return std::nullopt;
    return bytes;
}

// The mapping pairs of the unnamed non-resident $DATA attribute of a record.
std::optional<std::vector<NtfsRun>> data_runs(Bytes record) {
    std::uint64_t pos = load_le<std::uint16_t>(record, 20);
    while (fits(record, pos, 16)) {
        const std::uint32_t type = load_le<std::uint32_t>(record, pos);
        const std::uint32_t length = load_le<std::uint32_t>(record, pos + 4);
        if (type == 0xFFFFFFFF || length < 16 || !fits(record, pos, length)) break;
        const Bytes attr = record.subspan(pos, length);
        if (type == 0x80 && attr[8] != 0 && attr[9] == 0) {
            const std::uint16_t pairs = load_le<std::uint16_t>(attr, 32);
            if (pairs >= attr.size()) return std::nullopt;
            return decode_ntfs_runs(attr.subspan(pairs));
        }
        pos += length;
    }
    return std::nullopt;
}

std::optional<VolumeBitmap> ntfs_bitmap(const BlockDevice& volume) {
    const auto boot = read_ntfs_boot(volume);
    if (!boot) return std::nullopt;
    const std::uint64_t cluster_size = boot->cluster_size;
    const std::uint64_t record_offset =
        boot->mft_cluster * cluster_size + std::uint64_t{kBitmapRecord} * boot->record_size;
    auto record = read_exact(volume, record_offset, boot->record_size);
    if (!record || std::memcmp(record->data(), "FILE", 4) != 0 || !apply_ntfs_fixups(*record)) {
        return std::nullopt;
    }
    const auto runs = data_runs(*record);
    if (!runs) return std::nullopt;
    const std::uint64_t sectors =
        std::min(boot->total_sectors, volume.size() / boot->bytes_per_sector);
    const std::uint64_t clusters = sectors * boot->bytes_per_sector / cluster_size;
    VolumeBitmap bitmap{clusters, std::vector<std::uint8_t>((clusters + 7) / 8)};
    std::uint64_t filled = 0;
    for (const NtfsRun& run : *runs) {
        if (filled >= bitmap.bits.size()) break;
        const std::uint64_t want =
            std::min<std::uint64_t>(bitmap.bits.size() - filled,
                                    static_cast<std::uint64_t>(run.cluster_count) * cluster_size);
        const auto got =
            volume.read_at(static_cast<std::uint64_t>(run.first_cluster) * cluster_size,
                           MutableBytes(bitmap.bits).subspan(filled, want));
        if (!got.ok()) return std::nullopt;
        filled += want;
    }
    return bitmap;
}

std::optional<VolumeBitmap> fat_bitmap(const BlockDevice& volume, Bytes boot, FileSystem fs) {
    const FatBpb bpb = FatBpb::read(boot);
    const std::uint64_t cluster_size =
        std::uint64_t{bpb.sectors_per_cluster} * bpb.bytes_per_sector;
    const std::uint64_t clusters = std::min(bpb.clusters(), volume.size() / cluster_size);
    const unsigned width = fs == FileSystem::fat32 ? 4 : 2;
    const std::uint64_t fat_bytes =
        std::min(bpb.fat_sectors * bpb.bytes_per_sector, (clusters + 2) * width);
    const auto fat =
        read_exact(volume, std::uint64_t{bpb.reserved_sectors} * bpb.bytes_per_sector, fat_bytes);
    if (!fat) return std::nullopt;
    VolumeBitmap bitmap{clusters, std::vector<std::uint8_t>((clusters + 7) / 8)};
    for (std::uint64_t n = 0; n < clusters && (n + 3) * width <= fat->size(); ++n) {
        const std::uint64_t at = (n + 2) * width;
        const std::uint32_t entry = width == 4 ? load_le<std::uint32_t>(*fat, at) & 0x0FFFFFFF
                                               : load_le<std::uint16_t>(*fat, at);
        if (entry != 0) bitmap.bits[n / 8] |= static_cast<std::uint8_t>(1u << (n % 8));
    }
    return bitmap;
}

}  // namespace

std::optional<NtfsBoot> read_ntfs_boot(const BlockDevice& volume) {
    const auto boot = read_exact(volume, 0, 512);
    if (!boot || classify_boot_sector(*boot) != FileSystem::ntfs) return std::nullopt;
    NtfsBoot b;
    b.bytes_per_sector = load_le<std::uint16_t>(*boot, 11);
    b.cluster_size = b.bytes_per_sector * (*boot)[13];
    b.mft_cluster = load_le<std::uint64_t>(*boot, 48);
    b.total_sectors = load_le<std::uint64_t>(*boot, 40);
    const auto per_record = static_cast<std::int8_t>((*boot)[64]);
    if (per_record < 0 && per_record >= -31) {
        b.record_size = 1u << -per_record;
    } else if (per_record > 0) {
        b.record_size = static_cast<std::uint32_t>(per_record) * b.cluster_size;
    }
    const bool sane = b.bytes_per_sector >= 512 && b.cluster_size != 0 && b.record_size >= 512 &&
                      b.record_size <= (1u << 20) && b.mft_cluster < volume.size() / b.cluster_size;
    if (!sane) return std::nullopt;
    return b;
}

std::optional<VolumeBitmap> read_volume_bitmap(const BlockDevice& volume,
                                               std::uint32_t sector_size) {
    std::vector<std::uint8_t> boot(std::max<std::uint32_t>(sector_size, 512));
    if (!volume.read_at(0, boot).ok()) return std::nullopt;
    switch (const FileSystem fs = classify_boot_sector(boot)) {
        case FileSystem::ntfs:
            return ntfs_bitmap(volume);
        case FileSystem::fat16:
        case FileSystem::fat32:
            return fat_bitmap(volume, boot, fs);
        default:
            return std::nullopt;
    }
}

}  // namespace tobrin::platform
