#include "folder_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tobrin::shell {
namespace {

// Each node as its path, depth first, children in insertion order.
void Collect(const FolderTree& tree, FolderTree::NodeId parent, std::vector<std::string>& out) {
    for (const auto child : tree.Children(parent)) {
        out.push_back(NodePath(tree, child));
        Collect(tree, child, out);
    }
}

std::vector<std::string> Paths(const std::vector<std::string>& folders) {
    FolderTree tree;
    for (const auto& folder : folders) AddFolderPath(tree, folder, 0);
    std::vector<std::string> out;
    Collect(tree, FolderTree::kNoNode, out);
    return out;
}

TEST(AddFolderPath, BuildsTheTreeFromFolderPaths) {
    struct Case {
        std::vector<std::string> folders;
        std::vector<std::string> nodes;
    };
    const std::vector<Case> cases = {
        {{"C:\\a\\b\\c\\", "C:\\a\\x\\", "C:\\a\\"},
         {"C:", "C:\\a", "C:\\a\\b", "C:\\a\\b\\c", "C:\\a\\x"}},
        // The first spelling of a merged folder stays.
        {{"C:\\Docs\\", "c:\\DOCS\\Old\\"}, {"C:", "C:\\Docs", "C:\\Docs\\Old"}},
        {{"NULL", "nil", "LostFiles0"}, {"LostFiles", "LostFiles0"}},
        {{"\\\\", "", "C:\\\\Docs\\"}, {"C:", "C:\\Docs"}},
        {{"D:\\x\\", "C:\\y\\"}, {"D:", "D:\\x", "C:", "C:\\y"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Paths(c.folders), c.nodes);
}

TEST(AddFolderPath, GivesNewNodesTheImageIndex) {
    FolderTree tree;
    AddFolderPath(tree, "C:\\a\\", 3);
    AddFolderPath(tree, "C:\\a\\b\\", 5);
    const auto drive = tree.Children(FolderTree::kNoNode).front();
    const auto a = tree.Children(drive).front();
    EXPECT_EQ(tree.node(drive).image_index, 3);
    EXPECT_EQ(tree.node(a).image_index, 3);
    EXPECT_EQ(tree.node(tree.Children(a).front()).image_index, 5);
}

TEST(AddFolderPath, WideFoldersStayCheap) {
    FolderTree tree;
    for (int i = 0; i < 100'000; ++i)
        AddFolderPath(tree, "C:\\Wide\\F" + std::to_string(i) + "\\", 0);
    AddFolderPath(tree, "c:\\wide\\f99999\\", 0);
    EXPECT_EQ(tree.size(), 100'002u);
    const auto wide = tree.Children(tree.Children(FolderTree::kNoNode).front()).front();
    EXPECT_EQ(NodePath(tree, tree.Children(wide).back()), "C:\\Wide\\F99999");
}

}  // namespace
}  // namespace tobrin::shell
