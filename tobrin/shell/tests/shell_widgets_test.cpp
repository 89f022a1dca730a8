#include <gtest/gtest.h>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "file_list_model.h"
#include "folder_tree_model.h"
#include "progress_bar.h"
#include "scan_results_view.h"
#include "ui_hand_off.h"

namespace tobrin::shell {
namespace {

// The application lives from the first test to the end of the run; it must be
// gone before static destruction starts.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[26] = "tobrin_shell_widgets_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

using ShellWidgets = ::testing::Test;

std::string Line(std::string_view name, std::string_view folder, int index, std::string_view last) {
    return std::string(name) + "|" + std::string(folder) + "|1536|1/2/2020 3:04:05|" +
           std::to_string(index) + "|" + std::string(last);
}

std::vector<std::string_view> Views(const std::vector<std::string>& lines) {
    return {lines.begin(), lines.end()};
}

QString Cell(const QAbstractItemModel& model, int row, int column) {
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

TEST_F(ShellWidgets, StepProgressBarSweepsAndEndsAtZero) {
    QProgressBar bar;
    bar.setValue(5);
    QSignalSpy values(&bar, &QProgressBar::valueChanged);
    StepProgressBar(bar, 20, 0);
    EXPECT_EQ(bar.value(), 0);
    EXPECT_EQ(bar.maximum(), 20);
    ASSERT_EQ(values.count(), 22);
    EXPECT_EQ(values.at(20).at(0).toInt(), 20);
}

TEST_F(ShellWidgets, FileListShowsTheLineFields) {
    const std::vector<std::string> lines = {
        Line("a.jpg", "C:\\", 7, "87%"),
        "|C:\\|1|t|8|0",
        Line("b.doc", "C:\\", 9, "1"),
        Line("c.txt", "C:\\", 10, "0"),
    };
    FileListModel deleted_file;
    QAbstractItemModelTester deleted_tester(&deleted_file);
    FillFileList(deleted_file, Views(lines));
    ASSERT_EQ(deleted_file.rowCount(), 3);
    ASSERT_EQ(deleted_file.columnCount(), 5);
    const QStringList first = {Cell(deleted_file, 0, 0), Cell(deleted_file, 0, 1),
                               Cell(deleted_file, 0, 2), Cell(deleted_file, 0, 3),
                               Cell(deleted_file, 0, 4)};
    EXPECT_EQ(first, (QStringList{"7", "a.jpg", "1.50 KB", "1/2/2020 3:04:05", "87%"}));
    EXPECT_EQ(deleted_file.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(),
              "File integrality");

    FileListModel raw({.last_cell = LastCell::kDeletedFlag, .show_last_cell = false});
    QAbstractItemModelTester raw_tester(&raw);
    FillFileList(raw, Views(lines));
    EXPECT_EQ(raw.columnCount(), 4);
    EXPECT_EQ(raw.CellText(0, FileListModel::kLastColumn), "deleted");
    EXPECT_EQ(raw.CellText(1, FileListModel::kLastColumn), "deleted");
    EXPECT_EQ(raw.CellText(2, FileListModel::kLastColumn), "");
}

TEST_F(ShellWidgets, FillFileListHonoursTheLimitAndAddFileRowItsMark) {
    std::vector<std::string> lines;
    for (int i = 0; i < 1200; ++i) lines.push_back(Line("f", "C:\\", i, "100%"));
    FileListModel list;
    QAbstractItemModelTester tester(&list);
    FillFileList(list, Views(lines), kInitialRowLimit);
    EXPECT_EQ(list.rowCount(), 500);
    EXPECT_EQ(Cell(list, 499, 0), "499");
    EXPECT_TRUE(AddFileRow(list, Line("g", "C:\\", 4000, "1%"), true));
    EXPECT_FALSE(AddFileRow(list, "g|C:\\|1|t|4001", true));
    EXPECT_EQ(list.rowCount(), 501);
    EXPECT_EQ(CheckedIndexes(list), std::vector<std::string>{"4000"});
    FillFileList(list, Views(lines), 3);
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_TRUE(CheckedIndexes(list).empty());
}

TEST_F(ShellWidgets, CheckMarksFollowTheViewAndTheBulkOperations) {
    const std::vector<std::string> lines = {Line("a", "C:\\", 3, "1%"), Line("b", "C:\\", 4, "1%"),
                                            Line("c", "C:\\", 3, "1%")};
    FileListModel list;
    QAbstractItemModelTester tester(&list);
    FillFileList(list, Views(lines));
    QTreeView view;
    view.setModel(&list);
    view.show();
    view.setCurrentIndex(list.index(1, 0));
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(CheckedIndexes(list), std::vector<std::string>{"4"});
    CheckAll(list);
    EXPECT_EQ(CheckedIndexes(list), (std::vector<std::string>{"3", "4", "3"}));
    UncheckAll(list);
    EXPECT_TRUE(CheckedIndexes(list).empty());

    QCheckBox select_all;
    ConnectSelectAll(select_all, list);
    select_all.setChecked(true);
    EXPECT_EQ(CheckedIndexes(list).size(), 3u);
    select_all.setChecked(false);
    EXPECT_TRUE(CheckedIndexes(list).empty());
}

TEST_F(ShellWidgets, FolderTreeModelMirrorsTheTree) {
    FolderTree tree;
    for (const auto* folder : {"C:\\a\\b\\", "C:\\a\\x\\", "LostFiles0", "c:\\A\\b\\c\\"}) {
        AddFolderPath(tree, folder, 0);
    }
    FolderTreeModel model;
    QAbstractItemModelTester tester(&model);
    model.SetTree(std::move(tree));
    ASSERT_EQ(model.rowCount(), 2);
    const auto drive = model.index(0, 0);
    const auto a = model.index(0, 0, drive);
    const auto x = model.index(1, 0, a);
    EXPECT_EQ(model.data(x, Qt::DisplayRole).toString(), "x");
    EXPECT_EQ(model.parent(x), a);
    EXPECT_EQ(NodePath(model, model.index(0, 0, model.index(0, 0, a))), "C:\\a\\b\\c");
    EXPECT_EQ(NodePath(model, model.index(1, 0)), "LostFiles0");
    EXPECT_EQ(NodePath(model, {}), "");
}

TEST_F(ShellWidgets, TreeClicksListTheNodeFiles) {
    std::vector<std::string> lines;
    for (int i = 0; i < 600; ++i)
        lines.push_back(Line("f", i % 2 ? "C:\\Docs\\" : "C:\\Docs\\Old\\", i, "1%"));
    lines.push_back(Line("o", "LostFiles0", 600, "1%"));
    const auto matched = Views(lines);
    FolderTree tree;
    for (const auto* folder : {"C:\\Docs\\", "C:\\Docs\\Old\\", "LostFiles0"})
        AddFolderPath(tree, folder, 0);
    FolderTreeModel tree_model;
    tree_model.SetTree(std::move(tree));
    FileListModel list;
    QCheckBox select_all;
    ConnectSelectAll(select_all, list);
    std::string remembered;
    const ScanResultsView results{tree_model, list, select_all, remembered};

    QTreeView tree_view;
    tree_view.setModel(&tree_model);
    tree_view.expandAll();
    tree_view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree_view));
    QObject::connect(&tree_view, &QTreeView::clicked,
                     [&](const QModelIndex& index) { ShowNodeFiles(results, index, matched); });
    auto click = [&](const QModelIndex& index) {
        QTest::mouseClick(tree_view.viewport(), Qt::LeftButton, {},
                          tree_view.visualRect(index).center());
    };

    const auto drive = tree_model.index(0, 0);
    click(drive);
    EXPECT_EQ(list.rowCount(), 500);
    select_all.setChecked(true);
    click(drive);  // the node already shown keeps its list and marks
    EXPECT_EQ(CheckedIndexes(list).size(), 500u);
    EXPECT_TRUE(select_all.isChecked());

    click(tree_model.index(0, 0, drive));
    EXPECT_EQ(list.rowCount(), 300);
    EXPECT_EQ(Cell(list, 0, 0), "1");
    EXPECT_FALSE(select_all.isChecked());
    click(tree_model.index(1, 0));
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(remembered, "LostFiles0");
}

TEST_F(ShellWidgets, HandOffAppliesEachUpdateOnTheUiThreadBeforeReturning) {
    UiHandOff hand_off;
    constexpr int kUpdates = 20'000;
    int applied = 0;  // touched by the UI thread only, read by the worker after each hand-off
    std::atomic<int> out_of_order{0};
    std::atomic<bool> done{false};
    QThread* const ui_thread = QThread::currentThread();
    std::thread worker([&] {
        for (int i = 0; i < kUpdates; ++i) {
            hand_off.Apply([&] {
                if (QThread::currentThread() != ui_thread) ++out_of_order;
                ++applied;
            });
            if (applied != i + 1) ++out_of_order;
            // Now and then pause so that the UI thread goes back to its event loop.
            if (i % 5000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(applied, kUpdates);
    EXPECT_EQ(out_of_order, 0);
    hand_off.Apply([&] { ++applied; });
    EXPECT_EQ(applied, kUpdates + 1);
}

}  // namespace
}  // namespace tobrin::shell
