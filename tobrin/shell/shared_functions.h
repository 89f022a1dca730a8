// Plain text rules shared by every front end: splitting engine lines, size
// texts, partition names, drive paths and the preview size check.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tobrin::shell {

// Splits `text` at `separator`, carriage returns and line feeds into the
// non-empty pieces between them (views into `text`); returns their number.
std::size_t SplitAt(char separator, std::string_view text, std::vector<std::string_view>& pieces);

// Splits `text` at '|' into non-empty pieces (views into `text`). Carriage
// returns and line feeds also end a piece. Quote characters are plain text:
// engine lines never quote, and a name such as it's.doc must survive.
// Returns whether exactly `expected` fields came out.
bool SplitFields(std::string_view text, std::size_t expected,
                 std::vector<std::string_view>& fields);
// The same with the blank as separator.
bool SplitWords(std::string_view text, std::size_t expected, std::vector<std::string_view>& words);

// "1.00 KB", "5.00 GB", "1023 B": binary thresholds, two decimals, always '.'.
std::string FormatFileSize(std::int64_t size);
// A size text as the engines write it; a text that is no integer counts as 0.
std::string FormatFileSize(std::string_view size_text);

// "NTFS", "FAT16", "FAT32" or "Unknow_Type" for a partition type in decimal.
std::string_view PartitionTypeName(std::string_view type_text);

// A bare drive such as "C:" or "C:\".
bool IsDrivePath(std::string_view path);

constexpr int kPreviewLimitMb = 10;
// Whether a file whose size FormatFileSize shows as `displayed_size` is too
// large for the preview's work file of `limit_mb` megabytes.
bool IsTooLargeForPreview(std::string_view displayed_size, int limit_mb = kPreviewLimitMb);

// Whitespace and control characters off both ends.
std::string_view Trim(std::string_view text);
// ASCII case rules: engine text is 8-bit and only ASCII letters fold safely.
char FoldCase(char c);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string LowerCase(std::string_view text);
// Parses a whole decimal text as a signed 64-bit number.
bool ParseInt64(std::string_view text, std::int64_t& value);

}  // namespace tobrin::shell
