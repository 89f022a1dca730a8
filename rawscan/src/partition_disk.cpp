#include "partition_disk.h"

#include <string>

namespace rawscan {

std::string disk_device_name(std::uint32_t disk_index) {
    return "\\\\.\\PhysicalDrive" + std::to_string(disk_index);
}

bool usable_sector_size(std::uint32_t bytes) {
    return bytes != 0 && bytes % 512 == 0 && bytes <= 65536;
}

std::unique_ptr<PartitionDisk> PartitionDisk::open(std::uint32_t disk_index, std::uint64_t start,
                                                   std::uint64_t length) {
    auto handle = tobrin::platform::DeviceHandle::open(disk_device_name(disk_index));
    if (!handle) return nullptr;
    const std::uint32_t sector_size = handle->geometry().bytes_per_sector;
    if (!usable_sector_size(sector_size)) return nullptr;
    return std::unique_ptr<PartitionDisk>(
        new PartitionDisk(std::move(handle), sector_size, start, length));
}

ReadStatus PartitionDisk::read(std::uint64_t offset, tobrin::MutableBytes out) const {
    if (offset > length_ || out.size() > length_ - offset) return ReadStatus::outside;
    if (start_ > UINT64_MAX - offset) return ReadStatus::outside;
    return handle_->read_at(start_ + offset, out).ok() ? ReadStatus::ok : ReadStatus::failed;
}

ReadStatus PartitionDisk::read_sector(std::uint64_t sector, tobrin::MutableBytes out) const {
    if (sector > UINT64_MAX / sector_size_) return ReadStatus::outside;
    return read(sector * sector_size_, out);
}

}  // namespace rawscan
