// Device handles opened by their system names, with the queries the engines make
// of a disk or volume device.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "tobrin/platform/device.h"

namespace tobrin::platform {

struct DiskGeometry {
    std::uint64_t cylinders = 0;
    std::uint32_t tracks_per_cylinder = 0;
    std::uint32_t sectors_per_track = 0;
    std::uint32_t bytes_per_sector = 0;
};

struct PartitionInfo {
    std::uint64_t start = 0;   // byte offset on the disk
    std::uint64_t length = 0;  // bytes
    std::uint32_t number = 0;
    std::uint8_t type = 0;
};

// Allocation bitmap of a volume: bit n (bit n % 8 of byte n / 8) set when the
// allocation unit n is in use. NTFS: unit n is cluster n. FAT: unit n is cluster n + 2.
struct VolumeBitmap {
    std::uint64_t clusters = 0;
    std::vector<std::uint8_t> bits;
};

// A read-only handle on "\\.\PhysicalDriveN" (a whole disk) or "\\.\X:" (a volume,
// whose offsets start at the partition's first byte).
class DeviceHandle {
  public:
    // Null when the name is not a known disk or lettered volume.
    static std::unique_ptr<DeviceHandle> open(std::string_view name);

    std::uint64_t size() const { return device_->size(); }
    ReadResult read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
        return device_->read_at(offset, out);
    }

    DiskGeometry geometry() const;                        // of the disk behind the handle
    std::uint64_t disk_size() const;                      // of the disk behind the handle
    std::optional<PartitionInfo> partition_info() const;  // volumes only
    std::optional<std::uint32_t> disk_number() const;     // volumes only
    bool removable() const;
    // Bytes per MFT record from the volume's boot sector; NTFS volumes only.
    std::optional<std::uint32_t> ntfs_bytes_per_record() const;
    // Read from the file system's own allocation data ($Bitmap, the FAT).
    std::optional<VolumeBitmap> volume_bitmap() const;

  private:
    DeviceHandle(std::shared_ptr<const BlockDevice> device, std::uint32_t disk,
                 std::optional<std::uint32_t> volume_index);
    std::shared_ptr<const BlockDevice> device_;
    std::uint32_t disk_;
    std::optional<std::uint32_t> volume_;  // index into Machine::volumes
};

enum class DriveType : std::uint32_t { unknown = 0, no_root = 1, removable = 2, fixed = 3 };

// Bit n set when drive letter 'A' + n exists.
std::uint32_t logical_drives();
// `root` is "X:" or "X:\".
DriveType drive_type(std::string_view root);
// The logical sector size of the volume at `root` ("X:\").
std::optional<std::uint32_t> bytes_per_sector(std::string_view root);

}  // namespace tobrin::platform
