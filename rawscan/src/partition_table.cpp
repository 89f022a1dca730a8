#include "partition_table.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "boot_sectors.h"
#include "partition_disk.h"
#include "tobrin/platform/handle.h"
#include "tobrin/platform/system.h"

namespace rawscan {
namespace {

using tobrin::Bytes;
using tobrin::load_le;
using tobrin::platform::DeviceHandle;

constexpr std::uint64_t kTableOffset = 446;
constexpr std::uint64_t kTwoGiB = std::uint64_t{1} << 31;
// A chain of logical drives longer than this is taken to loop.
constexpr std::size_t kMaxExtendedLinks = 128;

struct TableEntry {
    std::uint8_t type;
    std::uint32_t start_lba;
    std::uint32_t sectors;
};

TableEntry table_entry(Bytes sector, int slot) {
    const std::uint64_t at = kTableOffset + 16 * static_cast<std::uint64_t>(slot);
    return {sector[at + 4], load_le<std::uint32_t>(sector, at + 8),
            load_le<std::uint32_t>(sector, at + 12)};
}

bool is_extended(std::uint8_t type) {
    return type == 0x05 || type == 0x0F;
}

bool has_signature(Bytes sector) {
    return sector.size() >= 512 && sector[510] == 0x55 && sector[511] == 0xAA;
}

std::optional<std::vector<std::uint8_t>> read_sector_at(const DeviceHandle& disk,
                                                        std::uint64_t offset,
                                                        std::uint32_t sector_size) {
    std::vector<std::uint8_t> sector(sector_size);
    if (!disk.read_at(offset, sector).ok()) return std::nullopt;
    return sector;
}

// A table sector (MBR or EBR) at `lba`, read in full and signed.
std::optional<std::vector<std::uint8_t>> read_table_sector(const DeviceHandle& disk,
                                                           std::uint64_t lba,
                                                           std::uint32_t sector_size) {
    auto sector = read_sector_at(disk, lba * sector_size, sector_size);
    if (!sector || !has_signature(*sector)) return std::nullopt;
    return sector;
}

struct DiskShape {
    std::uint32_t sector_size = 0;
    std::uint64_t size = 0;
};

std::optional<DiskShape> disk_shape(const DeviceHandle& disk) {
    const auto g = disk.geometry();
    if (!usable_sector_size(g.bytes_per_sector)) return std::nullopt;
    const auto os = tobrin::platform::os_version();
    if (os.major == 5 && os.minor == 0) {
        return DiskShape{g.bytes_per_sector, g.cylinders * g.tracks_per_cylinder *
                                                 g.sectors_per_track * g.bytes_per_sector};
    }
    return DiskShape{g.bytes_per_sector, disk.disk_size()};
}

class DiskWalk {
  public:
    DiskWalk(const DeviceHandle& disk, std::uint32_t sector_size, std::uint32_t flags)
        : disk_(disk), sector_size_(sector_size), flags_(flags) {}

    std::vector<DiskPartitionEntry> walk(Bytes mbr) {
        for (int slot = 0; slot < 4; ++slot) {
            const TableEntry e = table_entry(mbr, slot);
            if (e.sectors == 0) continue;
            if (accepted_partition_type(e.type)) {
                append(e.start_lba, e.sectors);
            } else if (is_extended(e.type)) {
                walk_extended(e.start_lba);
            }
        }
        return std::move(entries_);
    }

  private:
    void append(std::uint64_t start_lba, std::uint32_t sectors) {
        const auto ordinal = static_cast<std::uint32_t>(entries_.size() + 1);
        entries_.push_back(
            {ordinal, flags_, start_lba * sector_size_, std::uint64_t{sectors} * sector_size_});
    }

    void walk_extended(std::uint64_t base) {
        std::set<std::uint64_t> seen;
        std::uint64_t ebr = base;
        while (seen.size() < kMaxExtendedLinks && seen.insert(ebr).second) {
            const auto sector = read_table_sector(disk_, ebr, sector_size_);
            if (!sector) return;
            const TableEntry logical = table_entry(*sector, 0);
            if (logical.sectors != 0) append(logical.start_lba + ebr, logical.sectors);
            const TableEntry link = table_entry(*sector, 1);
            if (!is_extended(link.type) || link.sectors == 0) return;
            ebr = base + link.start_lba;
        }
    }

    const DeviceHandle& disk_;
    std::uint32_t sector_size_;
    std::uint32_t flags_;
    std::vector<DiskPartitionEntry> entries_;
};

std::vector<MountedVolume> mounted_volumes() {
    using tobrin::platform::DriveType;
    std::vector<MountedVolume> volumes;
    const std::uint32_t mask = tobrin::platform::logical_drives();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (!(mask & (1u << (letter - 'A')))) continue;
        const char name[3] = {letter, ':', 0};
        const DriveType kind = tobrin::platform::drive_type(name);
        if (kind != DriveType::fixed && kind != DriveType::removable) continue;
        const auto volume = DeviceHandle::open(std::string("\\\\.\\") + name);
        if (!volume) continue;
        const auto info = volume->partition_info();
        if (!info) continue;
        volumes.push_back({{letter, ':', '\\', 0},
                           info->type,
                           volume->disk_number().value_or(255),
                           info->number,
                           info->start,
                           info->length});
    }
    return volumes;
}

PartitionRecord make_record(std::uint32_t disk_index, const DiskPartitionEntry& entry,
                            const std::vector<MountedVolume>& volumes) {
    for (const MountedVolume& v : volumes) {
        if (v.disk_number == disk_index && v.partition_number == entry.ordinal &&
            v.start == entry.start) {
            PartitionRecord r{disk_index, {}, v.type, entry.flags, v.length, v.start};
            std::memcpy(r.root, v.root, sizeof r.root);
            return r;
        }
    }
    return {disk_index, {'N', 'I', 'L', 0}, 0, 0, entry.length, entry.start};
}

bool ntfs_at(const DeviceHandle& disk, const PartitionRecord& r, std::uint32_t sector_size) {
    const std::uint64_t sectors = r.length / sector_size;
    if (sectors == 0) return false;
    for (const std::uint64_t offset : {r.start, r.start + (sectors - 1) * sector_size}) {
        const auto sector = read_sector_at(disk, offset, sector_size);
        if (sector && ntfs_boot_sector_valid(*sector, sector_size, sectors)) return true;
    }
    return false;
}

// The type the system reports for a FAT volume of that kind; `otherwise` for none.
std::uint32_t type_of(FatKind kind, std::uint32_t otherwise) {
    switch (kind) {
        case FatKind::fat32:
            return kTypeFat32;
        case FatKind::fat16:
            return 6;
        case FatKind::fat12:
            return 1;
        case FatKind::none:
            break;
    }
    return otherwise;
}

// Removable media report the type of what they held when inserted; it is taken again
// from the partition itself.
void correct_removable_type(PartitionRecord& r) {
    const auto disk = DeviceHandle::open(disk_device_name(r.disk_index));
    const std::uint32_t sector_size = disk ? disk->geometry().bytes_per_sector : 0;
    const bool readable = disk && usable_sector_size(sector_size);
    if (r.length > kTwoGiB) {
        if (engine_kind(r.type) == EngineKind::fat32) return;
        // An intact NTFS file system keeps its engine.
        if (r.type == kTypeNtfs && readable && ntfs_at(*disk, r, sector_size)) return;
        r.type = kTypeFat32;
        return;
    }
    if (!readable) return;
    if (const auto sector = read_sector_at(*disk, r.start, sector_size)) {
        r.type = type_of(classify_fat_boot_sector(*sector, r.length / sector_size), r.type);
    }
}

}  // namespace

EngineKind engine_kind(std::uint32_t type) {
    if (type == kTypeNtfs) return EngineKind::ntfs;
    if (type == kTypeFat32 || type == kTypeFat32Lba) return EngineKind::fat32;
    return EngineKind::none;
}

bool accepted_partition_type(std::uint8_t type) {
    switch (type) {
        case 1:
        case 4:
        case 6:
        case 7:
        case 11:
        case 12:
        case 14:
            return true;
        default: {
            const std::uint8_t low = type & 0x3F;
            return (type & 0x80) && (low == 6 || low == 7 || low == 11 || low == 12);
        }
    }
}

bool mbr_table_valid(Bytes sector, std::uint32_t sector_size, std::uint64_t disk_size) {
    if (sector.size() < 512) return false;
    bool any = false;
    std::uint64_t previous_last = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const TableEntry e = table_entry(sector, slot);
        if (e.sectors == 0) continue;
        const bool fits_disk = std::uint64_t{e.sectors} * sector_size <= disk_size &&
                               std::uint64_t{e.start_lba} * sector_size <= disk_size;
        const bool known = accepted_partition_type(e.type) || is_extended(e.type);
        if (!fits_disk || !known || (any && e.start_lba < previous_last)) return false;
        previous_last = std::uint64_t{e.start_lba} + e.sectors - 1;
        any = true;
    }
    return any;
}

std::vector<DiskPartitionEntry> read_disk_partitions(std::uint32_t disk_index) {
    const auto disk = DeviceHandle::open(disk_device_name(disk_index));
    if (!disk) return {};
    const auto shape = disk_shape(*disk);
    if (!shape) return {};
    const bool removable = disk->removable();
    const std::uint32_t flags = removable ? kFlagRemovable : 0;
    const auto sector0 = read_sector_at(*disk, 0, shape->sector_size);
    if (removable && !(sector0 && mbr_table_valid(*sector0, shape->sector_size, shape->size))) {
        return {{1, kFlagRemovable | kFlagWholeDisk, 0, shape->size}};
    }
    if (!sector0 || !has_signature(*sector0)) return {};
    return DiskWalk(*disk, shape->sector_size, flags).walk(*sector0);
}

std::optional<PartitionTable> enumerate_partitions() {
    const auto count = tobrin::platform::registry_disk_count();
    if (!count) return std::nullopt;
    const std::vector<MountedVolume> volumes = mounted_volumes();
    PartitionTable table;
    table.disk_count = *count;
    for (std::uint32_t disk = 0; disk < *count; ++disk) {
        for (const DiskPartitionEntry& entry : read_disk_partitions(disk)) {
            table.records.push_back(make_record(disk, entry, volumes));
        }
    }
    for (PartitionRecord& r : table.records) {
        if (r.flags & kFlagRemovable) correct_removable_type(r);
    }
    return table;
}

std::string partition_list_text(const PartitionTable& table) {
    std::string text = std::to_string(table.disk_count);
    for (std::size_t i = 0; i < table.records.size(); ++i) {
        const PartitionRecord& r = table.records[i];
        text += "|" + std::to_string(r.disk_index) + "|" + r.root + "|" + std::to_string(r.length) +
                "|" + std::to_string(i) + "|" + std::to_string(r.type);
    }
    return text;
}

}  // namespace rawscan
