#include "target_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tobrin::shell {
namespace {

TEST(SafeComponent, KeepsANameInsideItsFolder) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"report.doc", "report.doc"},
        {"..", "_.."},
        {".", "_."},
        {"", "_"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"/abs", "_abs"},
        {"a\nb\x01"
         "c",
         "a_b_c"},
        {"C:\\back\\slash", "C:\\back\\slash"},
        {"...", "..."},
    };
    for (const auto& [name, safe] : cases) EXPECT_EQ(SafeComponent(name), safe) << name;
}

TEST(SafeComponent, CutsLongNamesOnACharacterBoundary) {
    EXPECT_EQ(SafeComponent(std::string(300, 'a')).size(), kMaxComponentBytes);
    // "é" is two bytes; a cut inside it drops the whole character.
    std::string accents;
    for (int i = 0; i < 200; ++i) accents += "\xC3\xA9";
    const std::string cut = SafeComponent(accents, 255);
    EXPECT_EQ(cut.size(), 254u);
    EXPECT_EQ(cut.substr(252), "\xC3\xA9");
}

TEST(FlatTargetName, PrefixesTheIndexAndStaysOneComponent) {
    EXPECT_EQ(FlatTargetName("17", "report.doc"), "17_report.doc");
    EXPECT_EQ(FlatTargetName("3", ".."), "3__..");
    EXPECT_EQ(FlatTargetName("4", "../x"), "4_.._x");
    EXPECT_EQ(FlatTargetName("123", std::string(400, 'b')).size(), kMaxComponentBytes);
}

TEST(TreeFolders, RecreatesThePathBelowTheDrive) {
    using Folders = std::vector<std::string>;
    EXPECT_EQ(TreeFolders("C:\\Docs\\Old\\"), (Folders{"Docs", "Old"}));
    EXPECT_EQ(TreeFolders("C:\\"), Folders{});
    EXPECT_EQ(TreeFolders("NULL"), (Folders{"LostFiles"}));
    EXPECT_EQ(TreeFolders("nil"), (Folders{"LostFiles"}));
    EXPECT_EQ(TreeFolders("Docs\\Old\\"), (Folders{"LostFiles", "Docs", "Old"}));
    EXPECT_EQ(TreeFolders("C:\\..\\a/b\\.\\"), (Folders{"_..", "a_b", "_."}));
}

}  // namespace
}  // namespace tobrin::shell
