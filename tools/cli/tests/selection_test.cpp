#include "selection.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tobrin::cli {
namespace {

const std::vector<std::string_view> kLines = {
    "Photo1.JPG|C:\\|10|1/1/2010 0:0:0|0|100%",
    "myphoto.png|C:\\a\\|20|1/1/2010 0:0:0|1|100%",
    "unusable line",
    "notes.txt|NULL|30|1/1/2010 0:0:0|2|0%",
    "notes.txt|C:\\b\\|40|1/1/2010 0:0:0|2|0%",
};

Selection ByName(std::string pattern, bool case_sensitive = false, bool whole_name = false) {
    Selection selection;
    selection.kind = Selection::Kind::kName;
    selection.pattern = std::move(pattern);
    selection.case_sensitive = case_sensitive;
    selection.whole_name = whole_name;
    return selection;
}

Selection ByIndexes(std::vector<std::uint32_t> indexes) {
    Selection selection;
    selection.kind = Selection::Kind::kIndexes;
    selection.indexes = std::move(indexes);
    return selection;
}

std::vector<std::string_view> Select(const Selection& selection) {
    const SelectResult result = SelectLines(selection, kLines);
    EXPECT_TRUE(result.error.empty()) << result.error;
    return result.lines;
}

TEST(SelectLines, AllTakesEveryUsableLine) {
    Selection all;
    all.kind = Selection::Kind::kAll;
    EXPECT_EQ(Select(all).size(), 4u);
}

TEST(SelectLines, NameUsesTheSearchModes) {
    EXPECT_EQ(Select(ByName("photo")), (std::vector<std::string_view>{kLines[0], kLines[1]}));
    EXPECT_EQ(Select(ByName("photo", true)), (std::vector<std::string_view>{kLines[1]}));
    EXPECT_EQ(Select(ByName("NOTES.TXT ", false, true)),
              (std::vector<std::string_view>{kLines[3], kLines[4]}));
}

TEST(SelectLines, IndexesTakeEveryLineOfTheIndexOnce) {
    EXPECT_EQ(Select(ByIndexes({2, 0, 2})),
              (std::vector<std::string_view>{kLines[3], kLines[4], kLines[0]}));
}

TEST(SelectLines, AnIndexNoFileHasIsAnError) {
    const SelectResult result = SelectLines(ByIndexes({1, 9}), kLines);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(result.error, "no found file has the index 9");
}

}  // namespace
}  // namespace tobrin::cli
