// The folder tree of a scan for a tree view. Built once when a scan ends;
// items are made on demand, so a tree of many folders costs no widgets.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>
#include <string>

#include "folder_tree.h"

namespace tobrin::shell {

class FolderTreeModel : public QAbstractItemModel {
  public:
    explicit FolderTreeModel(QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void SetTree(FolderTree tree);
    void Clear() { SetTree({}); }
    const FolderTree& tree() const { return tree_; }
    // Node images by image index; a node whose index has no image shows none.
    void SetImages(QList<QIcon> images);
    FolderTree::NodeId NodeOf(const QModelIndex& index) const;

  private:
    FolderTree tree_;
    QList<QIcon> images_;
};

// The path of the node at `index`, such as C:\Docs\Old; empty for no node.
std::string NodePath(const FolderTreeModel& model, const QModelIndex& index);

}  // namespace tobrin::shell
