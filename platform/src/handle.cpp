#include "tobrin/platform/handle.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "boot_sector.h"
#include "tobrin/platform/machine.h"
#include "volume_bitmap.h"

namespace tobrin::platform {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

bool iequals_prefix(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::optional<std::uint32_t> parse_disk_index(std::string_view digits) {
    std::uint32_t index = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return index;
}

const Volume* volume_of_root(std::string_view root) {
    const bool shaped =
        (root.size() == 2 || (root.size() == 3 && root[2] == '\\')) && root[1] == ':';
    if (!shaped) return nullptr;
    return machine().volume(root[0]);
}

}  // namespace

DeviceHandle::DeviceHandle(std::shared_ptr<const BlockDevice> device, std::uint32_t disk,
                           std::optional<std::uint32_t> volume_index)
    : device_(std::move(device)), disk_(disk), volume_(volume_index) {}

std::unique_ptr<DeviceHandle> DeviceHandle::open(std::string_view name) {
    if (!name.starts_with(kDevicePrefix)) return nullptr;
    name.remove_prefix(kDevicePrefix.size());
    const Machine& m = machine();
    if (iequals_prefix(name, "PhysicalDrive")) {
        const auto index = parse_disk_index(name.substr(13));
        if (!index || *index >= m.disks.size()) return nullptr;
        return std::unique_ptr<DeviceHandle>(
            new DeviceHandle(m.disks[*index].device, *index, std::nullopt));
    }
    if (name.size() != 2 || name[1] != ':') return nullptr;
    const Volume* v = m.volume(name[0]);
    if (!v) return nullptr;
    auto slice = std::make_shared<SliceDevice>(m.disks[v->disk].device, v->start, v->length);
    const auto index = static_cast<std::uint32_t>(v - m.volumes.data());
    return std::unique_ptr<DeviceHandle>(new DeviceHandle(std::move(slice), v->disk, index));
}

DiskGeometry DeviceHandle::geometry() const {
    DiskGeometry g;
    g.bytes_per_sector = machine().disks[disk_].sector_size;
    g.tracks_per_cylinder = 255;
    g.sectors_per_track = 63;
    g.cylinders = disk_size() / (std::uint64_t{255} * 63 * g.bytes_per_sector);
    return g;
}

std::uint64_t DeviceHandle::disk_size() const {
    return machine().disks[disk_].device->size();
}

std::optional<PartitionInfo> DeviceHandle::partition_info() const {
    if (!volume_) return std::nullopt;
    const Volume& v = machine().volumes[*volume_];
    return PartitionInfo{v.start, v.length, v.partition_number, v.type};
}

std::optional<std::uint32_t> DeviceHandle::disk_number() const {
    if (!volume_) return std::nullopt;
    return disk_;
}

bool DeviceHandle::removable() const {
    return machine().disks[disk_].removable;
}

std::optional<std::uint32_t> DeviceHandle::ntfs_bytes_per_record() const {
    if (!volume_) return std::nullopt;
    const auto boot = read_ntfs_boot(*device_);
    if (!boot) return std::nullopt;
    return boot->record_size;
}

std::optional<VolumeBitmap> DeviceHandle::volume_bitmap() const {
    if (!volume_) return std::nullopt;
    return read_volume_bitmap(*device_, machine().disks[disk_].sector_size);
}

std::uint32_t logical_drives() {
    std::uint32_t mask = 0;
    for (const Volume& v : machine().volumes) mask |= 1u << (v.letter - 'A');
    return mask;
}

DriveType drive_type(std::string_view root) {
    const Volume* v = volume_of_root(root);
    if (!v) return DriveType::no_root;
    return machine().disks[v->disk].removable ? DriveType::removable : DriveType::fixed;
}

std::optional<std::uint32_t> bytes_per_sector(std::string_view root) {
    const Volume* v = volume_of_root(root);
    if (!v) return std::nullopt;
    return machine().disks[v->disk].sector_size;
}

}  // namespace tobrin::platform
