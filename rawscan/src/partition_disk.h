// One partition of a physical disk, read through the platform's read-only handle.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "tobrin/platform/bytes.h"
#include "tobrin/platform/handle.h"

namespace rawscan {

// Why a read delivered nothing usable: the device failed or ended early, or the
// caller asked for bytes outside the partition.
enum class ReadStatus { ok, failed, outside };

class PartitionDisk {
  public:
    // Null when the disk cannot be opened or reports no usable sector size.
    static std::unique_ptr<PartitionDisk> open(std::uint32_t disk_index, std::uint64_t start,
                                               std::uint64_t length);

    std::uint32_t sector_size() const { return sector_size_; }
    std::uint64_t start() const { return start_; }
    std::uint64_t length() const { return length_; }
    std::uint64_t sectors() const { return length_ / sector_size_; }

    // Fills `out` from the partition-relative byte `offset`; only whole reads inside
    // the partition succeed.
    ReadStatus read(std::uint64_t offset, tobrin::MutableBytes out) const;
    ReadStatus read_sector(std::uint64_t sector, tobrin::MutableBytes out) const;

  private:
    PartitionDisk(std::unique_ptr<tobrin::platform::DeviceHandle> handle, std::uint32_t sector_size,
                  std::uint64_t start, std::uint64_t length)
        : handle_(std::move(handle)), sector_size_(sector_size), start_(start), length_(length) {}

    std::unique_ptr<tobrin::platform::DeviceHandle> handle_;
    std::uint32_t sector_size_;
    std::uint64_t start_, length_;
};

// "\\.\PhysicalDriveN".
std::string disk_device_name(std::uint32_t disk_index);

// A sector size the engines can work with: a non-zero multiple of 512 up to 64 KiB.
bool usable_sector_size(std::uint32_t bytes);

}  // namespace rawscan
