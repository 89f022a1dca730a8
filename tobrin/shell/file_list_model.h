// The checkable file list of a scan window: one row per found-file line.
#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan_model.h"

namespace tobrin::shell {

// What the last cell of a row shows: the volume engine's integrality text
// as it is, or "deleted" for a raw engine line whose flag is not "0".
enum class LastCell { kIntegrality, kDeletedFlag };

struct FileListOptions {
    LastCell last_cell = LastCell::kIntegrality;
    bool show_last_cell = true;  // the raw and the recovery lists have four columns
    bool checkable = true;
};

class FileListModel : public QAbstractTableModel {
  public:
    enum Column { kIndexColumn, kNameColumn, kSizeColumn, kTimeColumn, kLastColumn };

    explicit FileListModel(FileListOptions options = {}, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    std::size_t size() const { return lines_.lines().size(); }
    std::string_view LineAt(std::size_t row) const { return lines_.lines()[row]; }
    bool IsChecked(std::size_t row) const { return checked_.at(row); }
    // The row's text in `column`, also for a last cell that is not shown.
    std::string CellText(std::size_t row, Column column) const;

    // Replaces all rows by the usable ones among `lines`, unchecked.
    void Fill(std::span<const std::string_view> lines);
    // Appends a usable line as a row; false for any other line.
    bool Append(std::string_view line, bool checked);
    void SetAllChecked(bool checked);

  private:
    FileListOptions options_;
    LineStore lines_;
    std::vector<bool> checked_;
};

constexpr std::size_t kNoRowLimit = std::numeric_limits<std::size_t>::max();

// Clears the list and adds a row for each usable line among the first `limit` lines.
void FillFileList(FileListModel& list, std::span<const std::string_view> lines,
                  std::size_t limit = kNoRowLimit);
// Appends one row and sets its check mark.
bool AddFileRow(FileListModel& list, std::string_view line, bool checked);
// The trimmed file index of every checked row, in row order.
std::vector<std::string> CheckedIndexes(const FileListModel& list);
void CheckAll(FileListModel& list);
void UncheckAll(FileListModel& list);

}  // namespace tobrin::shell
