// Text and time conversions of the system: UTF-16 and OEM bytes to the ANSI code
// page, FILETIME and DOS stamps to calendar time.
#pragma once

#include <array>
#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tobrin::platform {

// UTF-8 keeps every character of a name; Windows-1252 is there to exercise the
// replacement character.
enum class AnsiCodePage { utf8, windows1252 };
void set_ansi_code_page(AnsiCodePage page);
AnsiCodePage ansi_code_page();

inline constexpr char replacement_char = '?';

// What the code page cannot hold becomes replacement_char; so does a broken surrogate.
std::string utf16_to_ansi(std::u16string_view text);
// The same, appended to `out`, for callers that reuse one buffer.
void append_ansi(std::string& out, std::u16string_view text);
std::u16string ansi_to_utf16(std::string_view text);
// Bytes of the OEM code page 850 (short FAT names) to the ANSI code page.
std::string oem_to_ansi(std::string_view bytes);

struct CalendarTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// 100-ns intervals since 1601-01-01 UTC to local time under the process's TZ rules.
std::optional<CalendarTime> filetime_to_local(std::uint64_t filetime);
// A DOS date and time word taken as stored (no time-zone conversion).
CalendarTime dos_date_time(std::uint16_t date, std::uint16_t time);
// "M/D/YYYY h:m:s", no leading zeros: the time field of the engines' lines.
std::string format_line_time(const CalendarTime& t);
void append_line_time(std::string& out, const CalendarTime& t);

// Decimal digits, no leading zeros, a '-' before a negative value.
template <std::integral T>
void append_decimal(std::string& out, T value) {
    std::array<char, 24> digits{};
    out.append(digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr);
}

}  // namespace tobrin::platform
