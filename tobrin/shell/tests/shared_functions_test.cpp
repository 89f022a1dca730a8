#include "shared_functions.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

namespace tobrin::shell {
namespace {

struct SplitCase {
    std::string text;
    std::vector<std::string> fields;
};

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    if (separator == '|') {
        SplitFields(text, 0, pieces);
    } else {
        SplitWords(text, 0, pieces);
    }
    return {pieces.begin(), pieces.end()};
}

TEST(SplitFields, DropsEmptyPiecesAndKeepsQuotesAsText) {
    const std::vector<SplitCase> cases = {
        {"a|b||c|d|e|f", {"a", "b", "c", "d", "e", "f"}},
        {"a|b|c|d|e|", {"a", "b", "c", "d", "e"}},
        {"|a|", {"a"}},
        {"", {}},
        {"a|b\r\n", {"a", "b"}},
        {"\r\na|\nb", {"a", "b"}},
        // Names with quotes stay whole and do not swallow the fields after them.
        {"it's.doc|C:\\|1|1/2/2020 3:04:05|7|100%",
         {"it's.doc", "C:\\", "1", "1/2/2020 3:04:05", "7", "100%"}},
        {"Tom's photo.jpg|C:\\P\\|5|1/1/2001 0:0:0|8|0",
         {"Tom's photo.jpg", "C:\\P\\", "5", "1/1/2001 0:0:0", "8", "0"}},
        {"'a'.txt|\"q|x", {"'a'.txt", "\"q", "x"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Split(c.text, '|'), c.fields) << c.text;
}

TEST(SplitFields, ReportsWhetherTheCountMatches) {
    std::vector<std::string_view> fields{"stale"};
    EXPECT_TRUE(SplitFields("a|b||c|d|e|f", 6, fields));
    EXPECT_FALSE(SplitFields("a|b|c|d|e|", 6, fields));
    EXPECT_EQ(fields.size(), 5u);
    EXPECT_TRUE(SplitFields("it's.doc|C:\\|1|t|7|9%", 6, fields));
}

TEST(SplitWords, SplitsAtBlanks) {
    EXPECT_EQ(Split("  Harddisk0  Partition1 (C:\\)", ' '),
              (std::vector<std::string>{"Harddisk0", "Partition1", "(C:\\)"}));
    EXPECT_EQ(Split("it's a", ' '), (std::vector<std::string>{"it's", "a"}));
    std::vector<std::string_view> words;
    EXPECT_TRUE(SplitWords("x y z", 3, words));
}

TEST(FormatFileSize, UsesBinaryThresholdsAndTwoDecimals) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0", "0 B"},
        {"1023", "1023 B"},
        {"1024", "1.00 KB"},
        {"1536", "1.50 KB"},
        {"1048575", "1024.00 KB"},
        {"1048576", "1.00 MB"},
        {"1073741823", "1024.00 MB"},
        {"1073741824", "1.00 GB"},
        {"5368709120", "5.00 GB"},
        {"9223372036854775807", "8589934592.00 GB"},
        {"-5", "-5 B"},
        {"junk", "0 B"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(FormatFileSize(text), shown) << text;
}

struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(FormatFileSize, KeepsThePointUnderACommaLocale) {
    const auto previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    const auto shown = FormatFileSize(1536);
    std::locale::global(previous);
    EXPECT_EQ(shown, "1.50 KB");
}

TEST(PartitionTypeName, MapsTypeCodes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1", "FAT32"},         {"11", "FAT32"},     {"12", "FAT32"},       {"4", "FAT16"},
        {"6", "FAT16"},         {"14", "FAT16"},     {"7", "NTFS"},         {"0", "Unknow_Type"},
        {"131", "Unknow_Type"}, {"", "Unknow_Type"}, {"7x", "Unknow_Type"},
    };
    for (const auto& [type, name] : cases) EXPECT_EQ(PartitionTypeName(type), name) << type;
}

TEST(IsDrivePath, AcceptsOnlyBareDrives) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"D:", true},  {"d:\\", true}, {"C:\\", true}, {"D:\\Data", false}, {"LostFiles0", false},
        {"1:", false}, {"C", false},   {"", false},    {"CD\\", false},
    };
    for (const auto& [path, drive] : cases) EXPECT_EQ(IsDrivePath(path), drive) << path;
}

TEST(IsTooLargeForPreview, ComparesWholeMegabytesWithTheLimit) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"10.00 MB", false},  {"10.99 MB", false}, {"11.00 MB", true},   {"1.00 GB", true},
        {"900.00 KB", false}, {"12 B", false},     {"1024.00 mb", true}, {"MB", true},
    };
    for (const auto& [size, too_large] : cases) {
        EXPECT_EQ(IsTooLargeForPreview(size), too_large) << size;
    }
    EXPECT_FALSE(IsTooLargeForPreview("11.00 MB", 11));
}

TEST(ShellText, TrimAndFoldOnlyAscii) {
    EXPECT_EQ(Trim(" \t12\r\n"), "12");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_TRUE(EqualsNoCase("C:\\DOCS\\", "c:\\docs\\"));
    EXPECT_FALSE(EqualsNoCase("\xC4", "\xE4"));
    EXPECT_EQ(LowerCase("PHOTO.JPG"), "photo.jpg");
}

}  // namespace
}  // namespace tobrin::shell
