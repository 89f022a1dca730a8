#include "name_match.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tobrin::sf {
namespace {

struct MatchCase {
    std::string_view name;
    std::string_view pattern;
    SearchMode mode;
    bool matches;
};

constexpr SearchMode kExact = SearchMode::kContainsExact;
constexpr SearchMode kNoCase = SearchMode::kContainsNoCase;
constexpr SearchMode kWholeExact = SearchMode::kWholeNameExact;
constexpr SearchMode kWholeNoCase = SearchMode::kWholeNameNoCase;

constexpr MatchCase kCases[] = {
    {"Photo1.JPG", "photo", kNoCase, true},
    {"myphoto.png", "photo", kNoCase, true},
    {"Photo1.JPG", "photo", kExact, false},
    {"myphoto.png", "photo", kExact, true},
    {"photo.jpg", "PHOTO.JPG", kWholeNoCase, true},
    {"photo.jpg.bak", "PHOTO.JPG", kWholeNoCase, false},
    {"photo.jpg", "PHOTO.JPG", kWholeExact, false},
    {"PHOTO.JPG", "PHOTO.JPG", kWholeExact, true},
    // Blanks around either text do not count.
    {"report.doc", " report.doc ", kWholeExact, true},
    {"  report.doc", "report.doc", kWholeNoCase, true},
    // Only ASCII letters fold: the bytes of "É" and "é" stay different.
    {"\xC3\x89t\xC3\xA9.txt", "\xC3\xA9T\xC3\xA9", kNoCase, false},
    {"\xC3\x89t\xC3\xA9.txt", "\xC3\x89T\xC3\xA9", kNoCase, true},
    // A pattern of blanks only is empty and finds nothing.
    {"a b.txt", "   ", kNoCase, false},
    {"a.txt", "", kWholeNoCase, false},
    {"a.txt", "a.txt.longer", kNoCase, false},
};

TEST(NameMatches, FollowsTheModeTable) {
    for (const MatchCase& c : kCases) {
        EXPECT_EQ(NameMatches(c.name, c.pattern, c.mode), c.matches)
            << c.name << " / " << c.pattern << " / mode " << static_cast<int>(c.mode);
    }
}

TEST(ModeFromOptions, NumbersTheFourCombinations) {
    EXPECT_EQ(ModeFromOptions(true, false), SearchMode::kContainsExact);
    EXPECT_EQ(ModeFromOptions(false, false), SearchMode::kContainsNoCase);
    EXPECT_EQ(ModeFromOptions(true, true), SearchMode::kWholeNameExact);
    EXPECT_EQ(ModeFromOptions(false, true), SearchMode::kWholeNameNoCase);
    EXPECT_EQ(static_cast<int>(SearchMode::kWholeNameNoCase), 4);
}

}  // namespace
}  // namespace tobrin::sf
