#include "folder_tree.h"

#include <stdexcept>

#include "scan_model.h"
#include "shared_functions.h"

namespace tobrin::shell {

std::span<const FolderTree::NodeId> FolderTree::Children(NodeId parent) const {
    return parent == kNoNode ? std::span<const NodeId>(roots_) : node(parent).children;
}

FolderTree::NodeId FolderTree::FindChild(NodeId parent, std::string_view text) const {
    const auto found = by_parent_and_text_.find(Key(parent, text));
    return found == by_parent_and_text_.end() ? kNoNode : found->second;
}

FolderTree::NodeId FolderTree::AddChild(NodeId parent, std::string_view text, int image_index) {
    if (nodes_.size() >= kNoNode) throw std::length_error("folder tree is full");
    const auto id = static_cast<NodeId>(nodes_.size());
    auto& siblings = parent == kNoNode ? roots_ : nodes_.at(parent).children;
    const auto row = static_cast<std::uint32_t>(siblings.size());
    siblings.push_back(id);
    nodes_.push_back(Node{std::string(text), parent, row, image_index, {}});
    by_parent_and_text_.emplace(Key(parent, text), id);
    return id;
}

void FolderTree::Clear() {
    nodes_.clear();
    roots_.clear();
    by_parent_and_text_.clear();
}

std::string FolderTree::Key(NodeId parent, std::string_view text) {
    return std::to_string(parent) + '\\' + LowerCase(text);
}

void AddFolderPath(FolderTree& tree, std::string_view path, int image_index) {
    if (IsOrphanFolder(path)) path = kLostFilesFolder;
    std::vector<std::string_view> components;
    SplitAt('\\', path, components);
    auto parent = FolderTree::kNoNode;
    for (const auto component : components) {
        auto child = tree.FindChild(parent, component);
        if (child == FolderTree::kNoNode) child = tree.AddChild(parent, component, image_index);
        parent = child;
    }
}

std::string NodePath(const FolderTree& tree, FolderTree::NodeId id) {
    std::vector<std::string_view> texts;
    for (auto at = id; at != FolderTree::kNoNode; at = tree.node(at).parent) {
        texts.push_back(tree.node(at).text);
    }
    std::string path;
    for (auto text = texts.rbegin(); text != texts.rend(); ++text) {
        if (!path.empty()) path += '\\';
        path += *text;
    }
    return path;
}

}  // namespace tobrin::shell
