#include "folder_tree_model.h"

#include "qt_text.h"

namespace tobrin::shell {

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) return {};
    const auto children = tree_.Children(NodeOf(parent));
    if (static_cast<std::size_t>(row) >= children.size()) return {};
    return createIndex(row, column, static_cast<quintptr>(children[static_cast<std::size_t>(row)]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    const auto parent = tree_.node(NodeOf(child)).parent;
    if (parent == FolderTree::kNoNode) return {};
    return createIndex(static_cast<int>(tree_.node(parent).row), 0, static_cast<quintptr>(parent));
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return static_cast<int>(tree_.Children(NodeOf(parent)).size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const auto& node = tree_.node(NodeOf(index));
    if (role == Qt::DisplayRole) return ToQString(node.text);
    if (role == Qt::DecorationRole && node.image_index >= 0 && node.image_index < images_.size()) {
        return images_[node.image_index];
    }
    return {};
}

void FolderTreeModel::SetTree(FolderTree tree) {
    beginResetModel();
    tree_ = std::move(tree);
    endResetModel();
}

void FolderTreeModel::SetImages(QList<QIcon> images) {
    images_ = std::move(images);
    if (!tree_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
    }
}

FolderTree::NodeId FolderTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<FolderTree::NodeId>(index.internalId())
                           : FolderTree::kNoNode;
}

std::string NodePath(const FolderTreeModel& model, const QModelIndex& index) {
    return index.isValid() ? NodePath(model.tree(), model.NodeOf(index)) : std::string{};
}

}  // namespace tobrin::shell
