// The disks and volumes this process sees, standing in for the machine's
// physical drives and mounted volumes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tobrin/platform/device.h"

namespace tobrin::platform {

// One disk to present: an image or block device path, or a device built in memory.
struct DiskSource {
    std::string path;                     // shown in errors; opened when `device` is null
    std::uint32_t sector_size = 512;      // logical sector size of an image
    std::shared_ptr<BlockDevice> device;  // in-memory disks (tests, fuzzers)
    std::optional<bool> removable;        // default: sysfs for block devices, else superfloppy rule
};

struct DiskError {
    std::string path;
    std::string message;  // one sentence naming the path
};

// Parses "PATH" or "PATH@SECTORSIZE" as given to --disk.
std::optional<DiskSource> parse_disk_argument(std::string_view argument, std::string& error);

// Replaces the disk list. Disks that cannot be opened are left out and reported.
std::vector<DiskError> use_disks(const std::vector<DiskSource>& sources);
// The disks of TOBRIN_DISKS (paths separated by ':'), else the machine's block devices.
std::vector<DiskError> use_default_disks();

struct Disk {
    std::string path;
    std::shared_ptr<const BlockDevice> device;
    std::uint32_t sector_size = 512;
    bool removable = false;
};

// A partition that got a drive letter, as the system would mount it.
struct Volume {
    char letter = 0;
    std::uint32_t disk = 0;              // index into Machine::disks
    std::uint32_t partition_number = 0;  // 1-based, in partition-table walk order
    std::uint8_t type = 0;               // MBR type byte (superfloppy: 7, 12 or 6)
    std::uint64_t start = 0;             // byte offset on the disk
    std::uint64_t length = 0;            // bytes
};

struct Machine {
    std::vector<Disk> disks;
    std::vector<Volume> volumes;
    const Volume* volume(char letter) const;  // case-insensitive; null when absent
};

// The current machine. Configured by use_disks(); when nothing was configured the
// first call runs use_default_disks(). Configure before engines run; not thread-safe
// against a concurrent reconfiguration.
const Machine& machine();

// Partition-table walk shared by the volume list and tests: every partition of a disk
// in walk order, with its 1-based number.
struct PartitionSlot {
    std::uint32_t number = 0;
    std::uint8_t type = 0;
    std::uint64_t start = 0, length = 0;
};
std::vector<PartitionSlot> walk_partition_table(const BlockDevice& disk, std::uint32_t sector_size);

// Superfloppy: sector 0 holds an NTFS or FAT boot sector instead of a partition table.
// Returns the partition type the system reports for it (7, 12 or 6), or 0.
std::uint8_t superfloppy_type(const BlockDevice& disk, std::uint32_t sector_size);

}  // namespace tobrin::platform
