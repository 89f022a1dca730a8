#include "found_line.h"

#include "coverage.h"
#include "tobrin/platform/text.h"

namespace volscan {
namespace {

namespace platform = tobrin::platform;

std::u16string ascii_to_utf16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// A stamp the calendar cannot hold prints as zeros rather than as stale values.
std::string ntfs_time_text(std::uint64_t filetime) {
    return platform::format_line_time(
        platform::filetime_to_local(filetime).value_or(platform::CalendarTime{}));
}

}  // namespace

std::string integrality_text(std::int32_t rate) {
    if (rate == kRateUnknown) return "?%";
    return std::to_string(100 - rate) + "%";
}

std::string ntfs_line(VolscanContext& context, std::size_t index) {
    const NtfsEntry& entry = context.ntfs().entries[index];
    std::u16string line = entry.name + u"|";
    line += entry.path.empty() ? u"NULL" : entry.path;
    line += u"|" + ascii_to_utf16(std::to_string(entry.size)) + u"|";
    line += ascii_to_utf16(ntfs_time_text(entry.times.mft_change));
    line += u"|" + ascii_to_utf16(std::to_string(index)) + u"|";
    line += ascii_to_utf16(integrality_text(coverage_rate(context, index)));
    return platform::utf16_to_ansi(line);
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
