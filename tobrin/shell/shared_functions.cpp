#include "shared_functions.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace tobrin::shell {
namespace {

std::string FormatScaled(std::int64_t size, std::int64_t unit, std::string_view suffix) {
    const long double quotient = static_cast<long double>(size) / static_cast<long double>(unit);
    std::array<char, 64> buffer{};
    // to_chars never consults the locale, so the point stays '.'.
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), quotient,
                                      std::chars_format::fixed, 2);
    std::string text(buffer.data(), result.ptr);
    text += suffix;
    return text;
}

}  // namespace

std::size_t SplitAt(char separator, std::string_view text, std::vector<std::string_view>& pieces) {
    pieces.clear();
    auto ends_piece = [separator](char c) { return c == separator || c == '\r' || c == '\n'; };
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = std::find_if(text.begin() + pos, text.end(), ends_piece);
        const auto stop = static_cast<std::size_t>(end - text.begin());
        if (stop > pos) pieces.push_back(text.substr(pos, stop - pos));
        pos = stop + 1;
    }
    return pieces.size();
}

bool SplitFields(std::string_view text, std::size_t expected,
                 std::vector<std::string_view>& fields) {
    return SplitAt('|', text, fields) == expected;
}

bool SplitWords(std::string_view text, std::size_t expected, std::vector<std::string_view>& words) {
    return SplitAt(' ', text, words) == expected;
}

std::string FormatFileSize(std::int64_t size) {
    constexpr std::int64_t kKb = 1024;
    constexpr std::int64_t kMb = kKb * 1024;
    constexpr std::int64_t kGb = kMb * 1024;
    if (size / kGb > 0) return FormatScaled(size, kGb, " GB");
    if (size / kMb > 0) return FormatScaled(size, kMb, " MB");
    if (size / kKb > 0) return FormatScaled(size, kKb, " KB");
    return std::to_string(size) + " B";
}

std::string FormatFileSize(std::string_view size_text) {
    std::int64_t size = 0;
    if (!ParseInt64(size_text, size)) size = 0;
    return FormatFileSize(size);
}

std::string_view PartitionTypeName(std::string_view type_text) {
    std::int64_t type = -1;
    if (!ParseInt64(type_text, type)) return "Unknow_Type";
    switch (type) {
        case 1:
        case 11:
        case 12:
            return "FAT32";
        case 4:
        case 6:
        case 14:
            return "FAT16";
        case 7:
            return "NTFS";
        default:
            return "Unknow_Type";
    }
}

bool IsDrivePath(std::string_view path) {
    if (path.size() < 2 || path.size() > 3) return false;
    const char first = FoldCase(path[0]);
    return first >= 'a' && first <= 'z' && path.find(':') != std::string_view::npos;
}

bool IsTooLargeForPreview(std::string_view displayed_size, int limit_mb) {
    std::string text = LowerCase(displayed_size);
    if (text.find("gb") != std::string::npos) return true;
    if (text.find("mb") == std::string::npos) return false;
    std::replace(text.begin(), text.end(), '.', ' ');
    std::vector<std::string_view> words;
    SplitWords(text, 0, words);
    std::int64_t whole_mb = 0;
    // A megabyte text without a readable number is not trusted to fit.
    if (words.empty() || !ParseInt64(words.front(), whole_mb)) return true;
    return whole_mb > limit_mb;
}

std::string_view Trim(std::string_view text) {
    auto is_blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), FoldCase);
    return lower;
}

bool ParseInt64(std::string_view text, std::int64_t& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size() && !text.empty();
}

}  // namespace tobrin::shell
