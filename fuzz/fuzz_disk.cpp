#include "fuzz_disk.h"

#include <unistd.h>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tobrin/platform/bytes.h"
#include "tobrin/platform/device.h"
#include "tobrin/platform/machine.h"

namespace tobrin::fuzz {

void present_disk(Input disk, std::uint32_t sector_size) {
    platform::DiskSource source;
    source.path = "fuzz-input";
    source.sector_size = sector_size;
    source.device = std::make_shared<platform::MemoryDevice>(
        std::vector<std::uint8_t>(disk.begin(), disk.end()));
    source.removable = false;
    platform::use_disks({source});
}

namespace {

// The sector count a volume's boot sector gives: NTFS u64 @0x28 (one less than the
// volume holds), FAT u16 @0x13 or else u32 @0x20.
std::uint64_t boot_sector_count(Input volume, std::uint8_t partition_type) {
    if (partition_type == 0x07) return load_le<std::uint64_t>(volume, 0x28) + 1;
    const std::uint16_t small = load_le<std::uint16_t>(volume, 0x13);
    return small ? small : load_le<std::uint32_t>(volume, 0x20);
}

}  // namespace

void present_volume(Input volume, std::uint8_t partition_type) {
    const std::uint32_t sector_size = load_le<std::uint16_t>(volume, 0x0B) == 4096 ? 4096 : 512;
    const std::uint64_t held = (volume.size() + sector_size - 1) / sector_size;
    // The table claims what the boot sector claims, as for an image cut short; the
    // engines must not trust more than the disk holds.
    const auto claimed = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::max(held, boot_sector_count(volume, partition_type)), UINT32_MAX));
    std::vector<std::uint8_t> disk(sector_size + held * sector_size);
    // Partition entry 1 @0x1BE: type @+4, first sector @+8, sector count @+12.
    disk[0x1BE + 4] = partition_type;
    disk[0x1BE + 8] = 1;
    for (int i = 0; i < 4; ++i) disk[0x1BE + 12 + i] = (claimed >> (8 * i)) & 0xFF;
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::copy(volume.begin(), volume.end(), disk.begin() + sector_size);
    present_disk(disk, sector_size);
}

std::optional<std::uint32_t> file_index_of(std::string_view line) {
    const std::size_t last_bar = line.rfind('|');
    if (last_bar == std::string_view::npos || last_bar == 0) return std::nullopt;
    const std::size_t bar = line.rfind('|', last_bar - 1);
    if (bar == std::string_view::npos) return std::nullopt;
    const std::string_view field = line.substr(bar + 1, last_bar - bar - 1);
    std::uint32_t index = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), index);
    if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
    return index;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tobrin-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::target(std::uint32_t index) const {
    return (path_ / (std::to_string(index) + "_file")).string();
}

void expect_kept(const std::string& target, const std::function<int()>& recover) {
    std::error_code error;
    const auto size_before = std::filesystem::file_size(target, error);
    if (error) return;
    if (recover() != 0 || std::filesystem::file_size(target) != size_before) {
        std::fprintf(stderr, "an existing target was not refused: %s\n", target.c_str());
        std::abort();
    }
}

bool verbose() {
    static const bool on = std::getenv("TOBRIN_FUZZ_VERBOSE") != nullptr;
    return on;
}

void touch(const void* buffer, std::uint64_t bytes) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    std::uint8_t sum = 0;
    for (std::uint64_t i = 0; i < bytes; ++i) sum ^= p[i];
    // An empty asm that takes the sum keeps the loads from being optimised away.
    asm volatile("" : : "r"(sum));
}

}  // namespace tobrin::fuzz
