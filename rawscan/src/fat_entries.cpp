#include "fat_entries.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <string_view>

#include "tobrin/platform/text.h"

namespace rawscan::fat32 {
namespace {

using tobrin::Bytes;
using tobrin::fits;
using tobrin::load_le;

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

// Offsets of the 13 UTF-16 characters of a long-name entry.
constexpr std::uint64_t kLongNameChars[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

bool valid_dos_time(std::uint16_t time) {
    return (time & 0x1F) < 30 && ((time >> 5) & 0x3F) <= 59 && (time >> 11) < 24;
}

bool valid_dos_date(std::uint16_t date) {
    const unsigned month = (date >> 5) & 0x0F;
    return (date & 0x1F) != 0 && month != 0 && month <= 12;
}

// Zero, or a valid stamp that is not in the future.
bool plausible_stamp(std::uint16_t time, std::uint16_t date, const DosNow& now) {
    if (time == 0 && date == 0) return true;
    const std::uint32_t stamp = (std::uint32_t{date} << 16) | time;
    return valid_dos_time(time) && valid_dos_date(date) && stamp <= now.stamp;
}

bool plausible_access_date(std::uint16_t date, const DosNow& now) {
    if (date == 0) return true;
    const unsigned year_field = date >> 9;
    return (date & 0x1F) != 0 && ((date >> 5) & 0x0F) != 0 && year_field >= 1 &&
           1980 + year_field <= now.year;
}

bool is_any_of(std::uint8_t byte, std::string_view set) {
    return set.find(static_cast<char>(byte)) != std::string_view::npos;
}

bool long_name_entry_plausible(Bytes e) {
    if (e[0] == 0 || load_le<std::uint16_t>(e, entry::kClusterLow) != 0) return false;
    for (const std::uint64_t at : kLongNameChars) {
        const std::uint16_t c = load_le<std::uint16_t>(e, at);
        if (c < 0x80 && is_any_of(static_cast<std::uint8_t>(c), "\"\\:*?<>|")) return false;
    }
    return true;
}

bool deleted_short_name_plausible(Bytes e) {
    for (std::uint64_t i = 0; i < 11; ++i) {
        if (e[i] == 0 || is_any_of(e[i], "\"\\:*?<>|")) return false;
    }
    return true;
}

Bytes entry_at(Bytes directory, std::uint64_t offset) {
    return directory.subspan(offset, kEntrySize);
}

}  // namespace

DosNow dos_now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&t, &local) || local.tm_year < 80) return {};
    const auto year = static_cast<std::uint32_t>(local.tm_year + 1900);
    const std::uint32_t date = ((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
    const std::uint32_t time =
        (local.tm_hour << 11) | (local.tm_min << 5) | (std::min(local.tm_sec, 59) / 2);
    return {(date << 16) | time, year};
}

bool DirEntry::is_dot() const {
    static constexpr char kDot[] = ".          ";
    static constexpr char kDotDot[] = "..         ";
    return std::memcmp(b_.data(), kDot, 11) == 0 || std::memcmp(b_.data(), kDotDot, 11) == 0;
}

std::uint32_t DirEntry::first_cluster() const {
    return (std::uint32_t{load_le<std::uint16_t>(b_, entry::kClusterHigh)} << 16) |
           load_le<std::uint16_t>(b_, entry::kClusterLow);
}

bool has_fat_signature(Bytes sector) {
    if (!fits(sector, 0, 8)) return false;
    const std::uint32_t e0 = load_le<std::uint32_t>(sector, 0);
    const std::uint32_t e1 = load_le<std::uint32_t>(sector, 4);
    const std::uint8_t media = e0 & 0xFF;
    return (e0 & 0x0FFFFF00) == 0x0FFFFF00 && (media == 0xF0 || media >= 0xF8) &&
           (e1 & 0x0FFFFFFF) == 0x0FFFFFFF;
}

bool passes_time_test(const DirEntry& e, const DosNow& now) {
    const Bytes b = e.bytes();
    return b[entry::kCreationTenths] < 199 &&
           plausible_stamp(load_le<std::uint16_t>(b, entry::kCreationTime),
                           load_le<std::uint16_t>(b, entry::kCreationDate), now) &&
           plausible_stamp(e.write_time(), e.write_date(), now) &&
           plausible_access_date(load_le<std::uint16_t>(b, entry::kAccessDate), now);
}

bool passes_short_entry_test(const DirEntry& e, std::uint64_t partition_sectors,
                             const DosNow& now) {
    const Bytes b = e.bytes();
    const std::uint8_t attribute = e.attribute();
    if (e.first() == 0 || attribute == 0 || attribute >= 0x40 || e.is_long_name()) return false;
    if (e.first_cluster() >= partition_sectors) return false;
    if (!plausible_stamp(e.write_time(), e.write_date(), now)) return false;
    for (std::uint64_t i = 0; i < 11; ++i) {
        if (b[i] == 0 || is_any_of(b[i], "\"*:<>?\\|")) return false;
    }
    if (b[0] < 0x20 && b[0] != 0x05) return false;
    for (std::uint64_t i = 1; i < 11; ++i) {
        if (b[i] < 0x20 || is_any_of(b[i], "\"*+,./:;<=>?|")) return false;
    }
    return true;
}

bool needs_second_sector(Bytes sector) {
    if (!fits(sector, 0, kEntrySize)) return false;
    const DirEntry first(entry_at(sector, 0));
    if (!first.is_long_name()) return false;
    if (first.first() == kDeletedMark || first.first() == 0x05) return true;
    return std::uint64_t{static_cast<std::uint8_t>(first.first() & ~0x40)} * kEntrySize >
           sector.size();
}

bool looks_like_directory(Bytes sectors, std::uint64_t partition_sectors, const DosNow& now) {
    if (!fits(sectors, 0, kEntrySize)) return false;
    const DirEntry first(entry_at(sectors, 0));
    if (first.first() == 0 || first.attribute() == 0 || first.attribute() >= 0x40) return false;
    if (!first.is_long_name()) {
        return passes_time_test(first, now) &&
               passes_short_entry_test(first, partition_sectors, now);
    }
    const bool deleted = first.first() == kDeletedMark || first.first() == 0x05;
    const std::uint64_t sequence = first.first() & ~0x40;
    if (!deleted && sequence > kMaxLongNameEntries) return false;
    std::uint64_t offset = 0;
    std::uint64_t count = 0;
    while (fits(sectors, offset, kEntrySize) &&
           DirEntry(entry_at(sectors, offset)).is_long_name()) {
        if (!long_name_entry_plausible(entry_at(sectors, offset))) return false;
        if (++count > kMaxLongNameEntries || (!deleted && count > sequence)) return false;
        offset += kEntrySize;
    }
    if (!fits(sectors, offset, kEntrySize)) return false;
    const DirEntry short_entry(entry_at(sectors, offset));
    if (!passes_time_test(short_entry, now) ||
        !passes_short_entry_test(short_entry, partition_sectors, now)) {
        return false;
    }
    return !deleted || deleted_short_name_plausible(short_entry.bytes());
}

std::string short_name(const DirEntry& e) {
    const Bytes b = e.bytes();
    std::string oem;
    // 0x05 stands for a live name that begins with the OEM byte 0xE5.
    oem += static_cast<char>(b[0] == 0x05 ? kDeletedMark : b[0]);
    for (std::uint64_t i = 1; i < 8 && b[i] > 0x20; ++i) oem += static_cast<char>(b[i]);
    if (b[8] != ' ') {
        oem += '.';
        oem.append(reinterpret_cast<const char*>(b.data() + 8), 3);
    }
    if (e.is_deleted()) return "_" + tobrin::platform::oem_to_ansi(std::string_view(oem).substr(1));
    return tobrin::platform::oem_to_ansi(oem);
}

std::uint64_t long_name_run_length(Bytes directory, std::uint64_t offset) {
    std::uint64_t count = 0;
    while (fits(directory, offset + count * kEntrySize, kEntrySize) &&
           DirEntry(entry_at(directory, offset + count * kEntrySize)).is_long_name()) {
        ++count;
    }
    return count;
}

std::optional<LongName> assemble_long_name(Bytes directory, std::uint64_t offset,
                                           std::uint64_t partition_sectors, const DosNow& now) {
    const std::uint64_t count = long_name_run_length(directory, offset);
    const std::uint64_t short_at = offset + count * kEntrySize;
    if (count == 0 || count > kMaxLongNameEntries || !fits(directory, short_at, kEntrySize) ||
        !passes_short_entry_test(DirEntry(entry_at(directory, short_at)), partition_sectors, now)) {
        return std::nullopt;
    }
    std::u16string name;
    for (std::uint64_t k = count; k-- > 0;) {
        const Bytes e = entry_at(directory, offset + k * kEntrySize);
        if (load_le<std::uint16_t>(e, entry::kClusterLow) != 0) continue;
        for (const std::uint64_t at : kLongNameChars) {
            name += static_cast<char16_t>(load_le<std::uint16_t>(e, at));
        }
    }
    name = name.substr(0, std::min(name.find(u'\0'), kMaxLongNameChars));
    return LongName{tobrin::platform::utf16_to_ansi(name), count};
}

std::uint64_t default_cluster_size(std::uint64_t length) {
    if (length <= 32 * kMiB) return 0;
    if (length <= 64 * kMiB) return 512;
    if (length < 65 * kMiB) return 0;
    if (length <= 128 * kMiB) return 1024;
    if (length < 129 * kMiB) return 0;
    if (length <= 256 * kMiB) return 2048;
    if (length < 257 * kMiB) return 0;
    if (length <= 8 * kGiB) return 4096;
    if (length <= 16 * kGiB) return 8192;
    if (length <= 32 * kGiB) return 16384;
    return 0;
}

std::uint64_t corrected_sectors_per_cluster(double estimate) {
    const auto is_factor = [](double v) {
        for (double p = 1; p <= 128; p *= 2) {
            if (v == p) return true;
        }
        return false;
    };
    if (!(estimate > 0) || estimate > 256) return 0;
    const double up = std::ceil(estimate);
    const double down = std::floor(estimate);
    if (is_factor(up)) return static_cast<std::uint64_t>(up);
    if (is_factor(down)) return static_cast<std::uint64_t>(down);
    if (up < 1 || up > 128) return 0;
    double lower = 1;
    while (lower * 2 < up) lower *= 2;
    const double upper = lower * 2;
    if (up - lower == upper - up) return 0;
    return static_cast<std::uint64_t>(up - lower < upper - up ? lower : upper);
}

}  // namespace rawscan::fat32
