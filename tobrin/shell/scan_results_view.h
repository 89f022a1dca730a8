// The results page of a scan window: a click on a tree node lists its files,
// and the "Select/Unselect all" box checks or unchecks every row.
#pragma once

#include <QModelIndex>
#include <span>
#include <string>
#include <string_view>

class QAbstractButton;

namespace tobrin::shell {

class FileListModel;
class FolderTreeModel;

struct ScanResultsView {
    const FolderTreeModel& tree;
    FileListModel& list;
    QAbstractButton& select_all;
    // The path of the node whose files the list shows; lives as long as the window.
    std::string& remembered_path;
};

// Lists the files of the clicked node: the first lines of the scan for a
// drive, all of a folder's lines otherwise; the node already shown changes nothing.
void ShowNodeFiles(const ScanResultsView& view, const QModelIndex& selected,
                   std::span<const std::string_view> matched_lines);

// Makes the box check every row when checked and uncheck every row when unchecked.
void ConnectSelectAll(QAbstractButton& select_all, FileListModel& list);

}  // namespace tobrin::shell
