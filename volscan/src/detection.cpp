#include "detection.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "device_io.h"
#include "tobrin/platform/handle.h"

namespace volscan {
namespace {

using tobrin::Bytes;
using tobrin::load_le;

bool is_cluster_factor(std::uint32_t v) {
    return v != 0 && v <= 128 && (v & (v - 1)) == 0;
}

bool is_clusters_per_record(std::int8_t v) {
    return (v >= -31 && v <= -9) ||
           (v > 0 && is_cluster_factor(static_cast<std::uint32_t>(v)) && v <= 64);
}

// Reads sector 0 of the volume at `root` through its own handle and evaluates `test`;
// any failure on the way fails the test.
bool test_first_sector(std::string_view root,
                       const std::function<bool(Bytes, std::uint32_t)>& test) {
    const auto sector_size = tobrin::platform::bytes_per_sector(root);
    if (!sector_size || *sector_size == 0 || *sector_size > (1u << 16)) return false;
    const auto handle =
        tobrin::platform::DeviceHandle::open("\\\\.\\" + std::string(root.substr(0, 2)));
    if (!handle) return false;
    std::vector<std::uint8_t> sector(*sector_size);
    if (!read_exact(*handle, 0, sector)) return false;
    return test(sector, *sector_size);
}

}  // namespace

bool passes_ntfs_test(Bytes s, std::uint32_t reported_sector_size) {
    if (!tobrin::fits(s, 0, 69)) return false;
    static constexpr std::array<std::uint8_t, 8> kId = {'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '};
    if (!std::equal(kId.begin(), kId.end(), s.begin() + 3)) return false;
    const std::uint32_t sector_size = std::uint32_t{s[12]} * 256;
    if (s[11] != 0 || sector_size != reported_sector_size || sector_size > 8192) return false;
    if (!is_cluster_factor(s[13])) return false;
    for (const int zero_at : {14, 15, 16, 17, 18, 19, 20, 22, 23, 32, 33, 34, 35}) {
        if (s[zero_at] != 0) return false;
    }
    return is_clusters_per_record(static_cast<std::int8_t>(s[64])) &&
           is_clusters_per_record(static_cast<std::int8_t>(s[68]));
}

FatClass classify_fat(Bytes s) {
    if (!tobrin::fits(s, 0, 40)) return FatClass::none;
    if (s[0] != 0xEB && s[0] != 0xE9 && s[0] != 0x49) return FatClass::none;
    const std::uint32_t bytes_per_sector = load_le<std::uint16_t>(s, 11);
    const std::uint32_t sectors_per_cluster = s[13];
    const std::uint32_t reserved = load_le<std::uint16_t>(s, 14);
    const std::uint32_t fats = s[16];
    const std::uint32_t root_entries = load_le<std::uint16_t>(s, 17);
    const std::uint32_t total16 = load_le<std::uint16_t>(s, 19);
    const std::uint8_t media = s[21];
    const std::uint32_t fat16_size = load_le<std::uint16_t>(s, 22);
    if (bytes_per_sector < 128 || bytes_per_sector > 4096 ||
        (bytes_per_sector & (bytes_per_sector - 1)) != 0) {
        return FatClass::none;
    }
    if (!is_cluster_factor(sectors_per_cluster) || reserved == 0 || fats == 0) {
        return FatClass::none;
    }
    const std::uint32_t total = total16 ? total16 : load_le<std::uint32_t>(s, 32);
    if (total == 0) return FatClass::none;
    if (media != 0x00 && media != 0x01 && media != 0xF0 && media < 0xF8) return FatClass::none;
    if (fat16_size != 0 && root_entries == 0) return FatClass::none;
    const std::uint32_t fat_size = fat16_size ? fat16_size : load_le<std::uint32_t>(s, 36);
    const std::uint32_t root_sectors =
        (root_entries * 32 + bytes_per_sector - 1) / bytes_per_sector;
    // Unsigned 32-bit arithmetic, as the classification is defined; geometry decoding
    // rejects the volumes whose metadata does not fit.
    const std::uint32_t clusters =
        (total - fats * fat_size - reserved - root_sectors) / sectors_per_cluster;
    if (clusters < 4085) return FatClass::none;
    return clusters < 65525 ? FatClass::fat16 : FatClass::fat32;
}

std::optional<FsKind> detect_kind(std::string_view root) {
    if (root.size() < 2) return std::nullopt;
    if (test_first_sector(root, passes_ntfs_test)) return FsKind::ntfs;
    const auto fat_test = [&](FatClass wanted) {
        return test_first_sector(
            root, [wanted](Bytes s, std::uint32_t) { return classify_fat(s) == wanted; });
    };
    if (fat_test(FatClass::fat32)) return FsKind::fat32;
    if (fat_test(FatClass::fat16)) return FsKind::fat16;
    return std::nullopt;
}

}  // namespace volscan
