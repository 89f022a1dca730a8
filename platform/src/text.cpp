#include "tobrin/platform/text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <ctime>

namespace tobrin::platform {
namespace {

// Unicode of the bytes 0x80 to 0xFF; 0 where the code page leaves a byte undefined.
constexpr std::array<char16_t, 128> kCp850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};
constexpr std::array<char16_t, 128> kCp1252 = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, 0x0000, 0x017D, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

std::atomic<AnsiCodePage> g_page{AnsiCodePage::utf8};

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char to_cp1252(char32_t c) {
    if (c < 0x80) return static_cast<char>(c);
    for (std::size_t i = 0; i < kCp1252.size(); ++i) {
        if (kCp1252[i] != 0 && kCp1252[i] == c) return static_cast<char>(0x80 + i);
    }
    return replacement_char;
}

void append_ansi_char(std::string& out, char32_t c) {
    if (g_page.load(std::memory_order_relaxed) == AnsiCodePage::utf8) {
        append_utf8(out, c);
    } else {
        out += to_cp1252(c);
    }
}

bool continues(std::string_view bytes) {
    for (const char ch : bytes) {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) return false;
    }
    return true;
}

bool is_high_surrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

void set_ansi_code_page(AnsiCodePage page) {
    g_page.store(page);
}
AnsiCodePage ansi_code_page() {
    return g_page.load();
}

void append_ansi(std::string& out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);  // the same in every code page
        } else if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            append_ansi_char(out,
                             0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
            out += replacement_char;
        } else {
            append_ansi_char(out, c);
        }
    }
}

std::string utf16_to_ansi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    append_ansi(out, text);
    return out;
}

std::u16string ansi_to_utf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
        } else if (g_page.load() == AnsiCodePage::windows1252) {
            out += kCp1252[b - 0x80] ? kCp1252[b - 0x80] : u'?';
        } else {
            const std::size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
            if (extra == 0 || i + extra >= text.size() || !continues(text.substr(i + 1, extra))) {
                out += u'?';
                continue;
            }
            char32_t c = b & (0x3F >> extra);
            for (std::size_t k = 1; k <= extra; ++k) c = (c << 6) | (text[i + k] & 0x3F);
            i += extra;
            if (c >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(c);
            }
        }
    }
    return out;
}

std::string oem_to_ansi(std::string_view bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        append_ansi_char(out, b < 0x80 ? char32_t{b} : char32_t{kCp850[b - 0x80]});
    }
    return out;
}

std::optional<CalendarTime> filetime_to_local(std::uint64_t filetime) {
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    constexpr std::int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
    const auto seconds = static_cast<std::int64_t>(filetime / kTicksPerSecond) - kUnixEpochSeconds;
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) return std::nullopt;
    return CalendarTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour,        local.tm_min,     local.tm_sec};
}

CalendarTime dos_date_time(std::uint16_t date, std::uint16_t time) {
    return {1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
            time >> 11,         (time >> 5) & 0x3F, 2 * (time & 0x1F)};
}

// Scans write one of these per file: no formatting engine, no allocation of its own.
void append_line_time(std::string& out, const CalendarTime& t) {
    append_decimal(out, t.month);
    out += '/';
    append_decimal(out, t.day);
    out += '/';
    append_decimal(out, t.year);
    out += ' ';
    append_decimal(out, t.hour);
    out += ':';
    append_decimal(out, t.minute);
    out += ':';
    append_decimal(out, t.second);
}

std::string format_line_time(const CalendarTime& t) {
    std::string text;
    append_line_time(text, t);
    return text;
}

}  // namespace tobrin::platform
