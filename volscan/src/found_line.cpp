#include "found_line.h"

#include "coverage.h"
#include "tobrin/platform/text.h"

namespace volscan {
namespace {

namespace platform = tobrin::platform;

// A stamp the calendar cannot hold prints as zeros rather than as stale values.
platform::CalendarTime ntfs_time(std::uint64_t filetime) {
    return platform::filetime_to_local(filetime).value_or(platform::CalendarTime{});
}

}  // namespace

std::string integrality_text(std::int32_t rate) {
    if (rate == kRateUnknown) return "?%";
    return std::to_string(100 - rate) + "%";
}

std::string ntfs_line(VolscanContext& context, std::size_t index) {
    const NtfsEntry& entry = context.ntfs().entries[index];
    std::string line;
    platform::append_ansi(line, entry.name);
    line += '|';
    if (entry.path.empty()) {
        line += "NULL";
    } else {
        platform::append_ansi(line, entry.path);
    }
    line += '|';
    platform::append_decimal(line, entry.size);
    line += '|';
    platform::append_line_time(line, ntfs_time(entry.times.mft_change));
    line += '|';
    platform::append_decimal(line, index);
    line += '|';
    line += integrality_text(coverage_rate(context, index));
    return line;
}

std::string fat_line(VolscanContext& context, const FatEntry& entry, std::size_t index) {
    const std::size_t cut = entry.path.rfind('\\') + 1;  // every path holds the root's "\"
    std::string line = entry.path.substr(cut) + "|" + entry.path.substr(0, cut) + "|";
    line += std::to_string(entry.size) + "|";
    line += platform::format_line_time(platform::dos_date_time(entry.date, entry.time));
    line += "|" + std::to_string(index) + "|" + integrality_text(coverage_rate(context, index));
    return line;
}

}  // namespace volscan
