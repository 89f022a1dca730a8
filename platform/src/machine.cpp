#include "tobrin/platform/machine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

#include "boot_sector.h"
#include "tobrin/platform/bytes.h"

namespace tobrin::platform {
namespace {

constexpr std::size_t kMaxLogicalDrives = 128;  // bounds an EBR chain that loops

bool is_extended(std::uint8_t type) {
    return type == 0x05 || type == 0x0F;
}

// Types the system gives a drive letter.
bool is_mountable(std::uint8_t type) {
    switch (type) {
        case 0x01:
        case 0x04:
        case 0x06:
        case 0x07:
        case 0x0B:
        case 0x0C:
        case 0x0E:
            return true;
        default:
            return false;
    }
}

// Types the partition walk counts, mountable or not (fault-tolerant set members carry bit 7).
bool is_counted(std::uint8_t type) {
    if (is_mountable(type)) return true;
    const std::uint8_t low = type & 0x3F;
    return (type & 0x80) && (low == 6 || low == 7 || low == 11 || low == 12);
}

struct TableEntry {
    std::uint8_t type;
    std::uint32_t start_lba, sectors;
};

TableEntry table_entry(Bytes sector, int i) {
    const std::uint64_t at = 446 + 16 * static_cast<std::uint64_t>(i);
    return {sector[at + 4], load_le<std::uint32_t>(sector, at + 8),
            load_le<std::uint32_t>(sector, at + 12)};
}

std::optional<std::vector<std::uint8_t>> read_table_sector(const BlockDevice& disk,
                                                           std::uint64_t lba,
                                                           std::uint32_t sector_size) {
    if (sector_size < 512) return std::nullopt;
    std::vector<std::uint8_t> sector(sector_size);
    if (!disk.read_at(lba * sector_size, sector).ok()) return std::nullopt;
    if (sector[510] != 0x55 || sector[511] != 0xAA) return std::nullopt;
    return sector;
}

void walk_extended_chain(const BlockDevice& disk, std::uint32_t sector_size, std::uint64_t base,
                         std::vector<PartitionSlot>& slots) {
    std::set<std::uint64_t> seen;
    std::uint64_t ebr = base;
    while (seen.insert(ebr).second && seen.size() <= kMaxLogicalDrives) {
        const auto sector = read_table_sector(disk, ebr, sector_size);
        if (!sector) return;
        const TableEntry logical = table_entry(*sector, 0);
        if (logical.sectors != 0) {
            slots.push_back({static_cast<std::uint32_t>(slots.size() + 1), logical.type,
                             (logical.start_lba + ebr) * sector_size,
                             std::uint64_t{logical.sectors} * sector_size});
        }
        const TableEntry link = table_entry(*sector, 1);
        if (!is_extended(link.type) || link.sectors == 0) return;
        ebr = base + link.start_lba;
    }
}

std::optional<bool> sysfs_removable(const std::string& path) {
    std::error_code ec;
    const auto real = std::filesystem::canonical(path, ec);
    if (ec || real.parent_path() != "/dev") return std::nullopt;
    std::ifstream in("/sys/class/block/" + real.filename().string() + "/removable");
    int flag = 0;
    if (!(in >> flag)) return std::nullopt;
    return flag != 0;
}

std::optional<std::uint32_t> sysfs_sector_size(const std::string& path) {
    std::error_code ec;
    const auto real = std::filesystem::canonical(path, ec);
    if (ec || real.parent_path() != "/dev") return std::nullopt;
    std::ifstream in("/sys/class/block/" + real.filename().string() + "/queue/logical_block_size");
    std::uint32_t size = 0;
    if (!(in >> size) || size == 0) return std::nullopt;
    return size;
}

void assign_letters(Machine& m) {
    char next = 'C';
    for (std::uint32_t d = 0; d < m.disks.size(); ++d) {
        const Disk& disk = m.disks[d];
        if (const std::uint8_t type = superfloppy_type(*disk.device, disk.sector_size)) {
            if (next <= 'Z') m.volumes.push_back({next++, d, 1, type, 0, disk.device->size()});
            continue;
        }
        const std::uint64_t disk_size = disk.device->size();
        for (const PartitionSlot& slot : walk_partition_table(*disk.device, disk.sector_size)) {
            if (!is_mountable(slot.type) || next > 'Z') continue;
            // A volume ends where its disk ends, whatever its table entry claims, so
            // that nothing sized by the volume can exceed what the disk holds.
            const std::uint64_t held =
                slot.start < disk_size ? std::min(slot.length, disk_size - slot.start) : 0;
            m.volumes.push_back({next++, d, slot.number, slot.type, slot.start, held});
        }
    }
}

std::mutex g_mutex;
std::optional<Machine> g_machine;

}  // namespace

std::vector<PartitionSlot> walk_partition_table(const BlockDevice& disk,
                                                std::uint32_t sector_size) {
    std::vector<PartitionSlot> slots;
    const auto mbr = read_table_sector(disk, 0, sector_size);
    if (!mbr) return slots;
    for (int i = 0; i < 4; ++i) {
        const TableEntry e = table_entry(*mbr, i);
        if (e.sectors == 0) continue;
        if (is_extended(e.type)) {
            walk_extended_chain(disk, sector_size, e.start_lba, slots);
        } else if (is_counted(e.type)) {
            slots.push_back({static_cast<std::uint32_t>(slots.size() + 1), e.type,
                             std::uint64_t{e.start_lba} * sector_size,
                             std::uint64_t{e.sectors} * sector_size});
        }
    }
    return slots;
}

std::uint8_t superfloppy_type(const BlockDevice& disk, std::uint32_t sector_size) {
    std::vector<std::uint8_t> sector(std::max<std::uint32_t>(sector_size, 512));
    if (!disk.read_at(0, sector).ok()) return 0;
    return partition_type_of(classify_boot_sector(sector));
}

std::optional<DiskSource> parse_disk_argument(std::string_view argument, std::string& error) {
    DiskSource source;
    const auto at = argument.rfind('@');
    source.path = std::string(argument.substr(0, at));
    if (at != std::string_view::npos) {
        const std::string_view digits = argument.substr(at + 1);
        std::uint32_t size = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
        const bool valid = ec == std::errc{} && end == digits.data() + digits.size() &&
                           size >= 512 && size <= 65536 && (size & (size - 1)) == 0;
        if (!valid) {
            error = "bad sector size in --disk " + std::string(argument) +
                    ": expected a power of two from 512 to 65536";
            return std::nullopt;
        }
        source.sector_size = size;
    }
    if (source.path.empty()) {
        error = "--disk needs a path";
        return std::nullopt;
    }
    return source;
}

std::vector<DiskError> use_disks(const std::vector<DiskSource>& sources) {
    Machine m;
    std::vector<DiskError> errors;
    for (const DiskSource& source : sources) {
        Disk disk{source.path, source.device, source.sector_size, false};
        if (!disk.device) {
            std::string error;
            disk.device = open_file_device(source.path, error);
            if (!disk.device) {
                errors.push_back({source.path, error});
                continue;
            }
            if (auto real = sysfs_sector_size(source.path)) disk.sector_size = *real;
        }
        disk.removable = source.removable.value_or(
            sysfs_removable(source.path)
                .value_or(superfloppy_type(*disk.device, disk.sector_size) != 0));
        m.disks.push_back(std::move(disk));
    }
    assign_letters(m);
    std::lock_guard lock(g_mutex);
    g_machine = std::move(m);
    return errors;
}

std::vector<DiskError> use_default_disks() {
    std::vector<DiskSource> sources;
    std::vector<DiskError> errors;
    if (const char* list = std::getenv("TOBRIN_DISKS"); list && *list) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view item = rest.substr(0, colon);
            std::string error;
            if (!item.empty()) {
                if (auto source = parse_disk_argument(item, error)) {
                    sources.push_back(*source);
                } else {
                    errors.push_back({std::string(item), error});
                }
            }
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    } else {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/block", ec)) {
            const std::string name = entry.path().filename().string();
            if (!name.starts_with("loop") && !name.starts_with("ram") &&
                !name.starts_with("zram") && !name.starts_with("dm-") && !name.starts_with("sr")) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            DiskSource source;
            source.path = "/dev/" + name;
            sources.push_back(source);
        }
    }
    auto open_errors = use_disks(sources);
    errors.insert(errors.end(), open_errors.begin(), open_errors.end());
    return errors;
}

const Machine& machine() {
    {
        std::lock_guard lock(g_mutex);
        if (g_machine) return *g_machine;
    }
    use_default_disks();
    std::lock_guard lock(g_mutex);
    return *g_machine;
}

const Volume* Machine::volume(char letter) const {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const Volume& v : volumes) {
        if (v.letter == upper) return &v;
    }
    return nullptr;
}

}  // namespace tobrin::platform
