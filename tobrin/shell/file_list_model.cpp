#include "file_list_model.h"

#include <algorithm>

#include "qt_text.h"
#include "shared_functions.h"

namespace tobrin::shell {

FileListModel::FileListModel(FileListOptions options, QObject* parent)
    : QAbstractTableModel(parent), options_(options) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return options_.show_last_cell ? kLastColumn + 1 : kLastColumn;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const auto column = static_cast<Column>(index.column());
    switch (role) {
        case Qt::DisplayRole:
            return ToQString(CellText(row, column));
        case Qt::CheckStateRole:
            if (!options_.checkable || column != kIndexColumn) return {};
            return checked_[row] ? Qt::Checked : Qt::Unchecked;
        case Qt::TextAlignmentRole:
            if (column == kSizeColumn || column == kLastColumn) return int{Qt::AlignCenter};
            return {};
        default:
            return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kIndexColumn:
            return QStringLiteral("Index");
        case kNameColumn:
            return QStringLiteral("File Name");
        case kSizeColumn:
            return QStringLiteral("File Size");
        case kTimeColumn:
            return QStringLiteral("File Time");
        case kLastColumn:
            return QStringLiteral("File integrality");
        default:
            return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    auto flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (options_.checkable && index.column() == kIndexColumn) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::CheckStateRole ||
        !options_.checkable || index.column() != kIndexColumn) {
        return false;
    }
    checked_[static_cast<std::size_t>(index.row())] = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

std::string FileListModel::CellText(std::size_t row, Column column) const {
    std::vector<std::string_view> fields;
    SplitFields(LineAt(row), kFieldCount, fields);
    switch (column) {
        case kIndexColumn:
            return std::string(fields[kFieldIndex]);
        case kNameColumn:
            return std::string(fields[kFieldName]);
        case kSizeColumn:
            return FormatFileSize(fields[kFieldSize]);
        case kTimeColumn:
            return std::string(fields[kFieldTime]);
        case kLastColumn:
            if (options_.last_cell == LastCell::kIntegrality)
                return std::string(fields[kFieldLast]);
            return fields[kFieldLast] == "0" ? "" : "deleted";
    }
    return {};
}

void FileListModel::Fill(std::span<const std::string_view> lines) {
    beginResetModel();
    lines_.Clear();
    checked_.clear();
    std::vector<std::string_view> fields;
    for (const auto line : lines) {
        if (!SplitFields(line, kFieldCount, fields)) continue;
        lines_.Append(line);
        checked_.push_back(false);
    }
    endResetModel();
}

bool FileListModel::Append(std::string_view line, bool checked) {
    std::vector<std::string_view> fields;
    if (!SplitFields(line, kFieldCount, fields)) return false;
    const int row = rowCount();
    beginInsertRows({}, row, row);
    lines_.Append(line);
    checked_.push_back(checked);
    endInsertRows();
    return true;
}

void FileListModel::SetAllChecked(bool checked) {
    if (size() == 0) return;
    std::fill(checked_.begin(), checked_.end(), checked);
    emit dataChanged(index(0, kIndexColumn), index(rowCount() - 1, kIndexColumn),
                     {Qt::CheckStateRole});
}

void FillFileList(FileListModel& list, std::span<const std::string_view> lines, std::size_t limit) {
    list.Fill(lines.first(std::min(lines.size(), limit)));
}

bool AddFileRow(FileListModel& list, std::string_view line, bool checked) {
    return list.Append(line, checked);
}

std::vector<std::string> CheckedIndexes(const FileListModel& list) {
    std::vector<std::string> indexes;
    for (std::size_t row = 0; row < list.size(); ++row) {
        if (list.IsChecked(row)) {
            indexes.emplace_back(Trim(list.CellText(row, FileListModel::kIndexColumn)));
        }
    }
    return indexes;
}

void CheckAll(FileListModel& list) {
    list.SetAllChecked(true);
}

void UncheckAll(FileListModel& list) {
    list.SetAllChecked(false);
}

}  // namespace tobrin::shell
