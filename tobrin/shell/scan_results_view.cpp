#include "scan_results_view.h"

#include <QAbstractButton>

#include "file_list_model.h"
#include "folder_tree_model.h"
#include "scan_model.h"

namespace tobrin::shell {

void ShowNodeFiles(const ScanResultsView& view, const QModelIndex& selected,
                   std::span<const std::string_view> matched_lines) {
    if (!selected.isValid()) return;
    const auto lines =
        LinesForNode(NodePath(view.tree, selected), view.remembered_path, matched_lines);
    if (!lines) return;
    FillFileList(view.list, *lines);
    view.select_all.setChecked(false);
}

void ConnectSelectAll(QAbstractButton& select_all, FileListModel& list) {
    QObject::connect(&select_all, &QAbstractButton::toggled, &list,
                     [&list](bool checked) { list.SetAllChecked(checked); });
}

}  // namespace tobrin::shell
