// The folder tree of a scan as plain data: one node per path component,
// siblings merged without regard to letter case, children in insertion order.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tobrin::shell {

class FolderTree {
  public:
    using NodeId = std::uint32_t;
    static constexpr NodeId kNoNode = std::numeric_limits<NodeId>::max();

    struct Node {
        std::string text;
        NodeId parent = kNoNode;
        std::uint32_t row = 0;  // position among its siblings
        int image_index = 0;
        std::vector<NodeId> children;
    };

    bool empty() const { return nodes_.empty(); }
    std::size_t size() const { return nodes_.size(); }
    const Node& node(NodeId id) const { return nodes_.at(id); }
    // The children of `parent`, or the root nodes for kNoNode.
    std::span<const NodeId> Children(NodeId parent) const;
    // The child of `parent` whose text equals `text` without regard to case.
    NodeId FindChild(NodeId parent, std::string_view text) const;
    NodeId AddChild(NodeId parent, std::string_view text, int image_index);
    void Clear();

  private:
    static std::string Key(NodeId parent, std::string_view text);

    std::vector<Node> nodes_;
    std::vector<NodeId> roots_;
    // Parent id and lower-cased text to child, so wide folders cost no sibling walks.
    std::unordered_map<std::string, NodeId> by_parent_and_text_;
};

// Adds the components of a folder path such as C:\Docs\Old\ below the nodes
// already present; "NULL" and "NIL" stand for the folder "LostFiles".
void AddFolderPath(FolderTree& tree, std::string_view path, int image_index);

// The node's text after those of its ancestors, joined by "\": C:\Docs\Old.
std::string NodePath(const FolderTree& tree, FolderTree::NodeId id);

}  // namespace tobrin::shell
