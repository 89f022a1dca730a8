#include "scan_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tobrin::shell {
namespace {

std::string Line(std::string_view name, std::string_view folder, std::int64_t size, int index,
                 std::string_view last = "100%") {
    return std::string(name) + "|" + std::string(folder) + "|" + std::to_string(size) +
           "|1/2/2020 3:04:05|" + std::to_string(index) + "|" + std::string(last);
}

std::vector<std::string> Strings(std::span<const std::string_view> views) {
    return {views.begin(), views.end()};
}

// Records what a window would be told, as it would see it on its UI thread.
struct RecordingObserver : ScanObserver {
    void FolderAdded(const ScanModel& model) override {
        added_folders.emplace_back(model.Folders().back());
    }
    void LineCounted(const ScanModel& model) override {
        counted_names.emplace_back(model.CurrentFields()[kFieldName]);
        info = BuildScanInfoText(model.CurrentFields(), model.SizeSum(), model.RecordsReceived());
    }
    std::vector<std::string> added_folders;
    std::vector<std::string> counted_names;
    std::string info;
};

class ScanModelTest : public ::testing::Test {
  protected:
    void TakeIn(const std::string& line) { TakeInLine(model, line, observer); }

    ScanModel model;
    RecordingObserver observer;
};

TEST_F(ScanModelTest, OrphansFillGroupsOfAThousand) {
    model.filter().SetAllFiles(true);
    for (int i = 0; i < 1001; ++i)
        TakeIn(Line("f" + std::to_string(i), i % 2 ? "null" : "NIL", 1, i));
    const auto lines = model.MatchedLines();
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines[999], Line("f999", "LostFiles0", 1, 999));
    EXPECT_EQ(lines[1000], Line("f1000", "LostFiles1", 1, 1000));
    EXPECT_EQ(Strings(model.Folders()), (std::vector<std::string>{"LostFiles0", "LostFiles1"}));
    EXPECT_EQ(model.OrphanCounter(), 1);
    EXPECT_EQ(model.OrphanGroup(), 1);
}

TEST_F(ScanModelTest, OnlyTheFolderFieldMakesAnOrphan) {
    model.filter().SetAllFiles(true);
    const std::vector<std::string> kept = {
        Line("annulled.doc", "C:\\", 1, 0),
        Line("NULL", "C:\\Nil\\", 1, 1),
        Line("report.doc", "Nilsson\\Docs\\", 1, 2),
        Line("x.txt", "NULLS\\", 1, 3),
    };
    for (const auto& line : kept) TakeIn(line);
    EXPECT_EQ(Strings(model.MatchedLines()), kept);
    EXPECT_EQ(model.OrphanCounter(), 0);

    std::string line = Line("vanilla.txt", "Null", 1, 4);
    EXPECT_TRUE(RenameOrphanLine(line, 7));
    EXPECT_EQ(line, Line("vanilla.txt", "LostFiles7", 1, 4));
    std::string nilsson = Line("a.doc", "Nilsson\\", 1, 5);
    EXPECT_FALSE(RenameOrphanLine(nilsson, 0));
    std::string unusable = "|NULL|1|t|5|0";
    EXPECT_FALSE(RenameOrphanLine(unusable, 0));
}

TEST_F(ScanModelTest, UnusableLinesAreNeitherCountedNorKept) {
    model.filter().SetAllFiles(true);
    TakeIn(Line("shown", "C:\\", 5, 0));
    TakeIn("|C:\\|5|t|1|100%");
    TakeIn("a|NULL|5|t|1");
    TakeIn("a|NULL|5|t|1|100%|extra");
    EXPECT_EQ(model.MatchedLines().size(), 1u);
    EXPECT_EQ(model.RecordsReceived(), 1u);
    EXPECT_EQ(model.OrphanCounter(), 0);
    EXPECT_EQ(observer.counted_names, std::vector<std::string>{"shown"});
    EXPECT_EQ(model.CurrentFields()[kFieldName], "shown");
}

TEST_F(ScanModelTest, FilterKeepsMatchingExtensionsAndCountsEverything) {
    const std::vector<std::string> extensions = {".JPG", ".png"};
    model.filter().SetExtensions(extensions);
    TakeIn(Line("PHOTO.JPG", "C:\\P\\", 1000, 0));
    TakeIn(Line("photo.jpeg", "C:\\Q\\", 2000, 1));
    TakeIn(Line("photo", "C:\\R\\", 3000, 2));
    TakeIn(Line("a.b.png", "C:\\P\\", 4000, 3));
    TakeIn(Line("jpg", "C:\\S\\", 5000, 4));
    EXPECT_EQ(Strings(model.MatchedLines()),
              (std::vector<std::string>{Line("PHOTO.JPG", "C:\\P\\", 1000, 0),
                                        Line("a.b.png", "C:\\P\\", 4000, 3)}));
    EXPECT_EQ(observer.added_folders, std::vector<std::string>{"C:\\P\\"});
    EXPECT_EQ(model.RecordsReceived(), 5u);
    EXPECT_EQ(model.SizeSum(), 15000);
    EXPECT_EQ(observer.counted_names,
              (std::vector<std::string>{"PHOTO.JPG", "photo.jpeg", "photo", "a.b.png", "jpg"}));
}

TEST_F(ScanModelTest, FolderListMergesLetterCaseInArrivalOrder) {
    model.filter().SetAllFiles(true);
    TakeIn(Line("a", "C:\\Docs\\", 1, 0));
    TakeIn(Line("b", "D:\\", 1, 1));
    TakeIn(Line("c", "c:\\docs\\", 1, 2));
    TakeIn(Line("d", "C:\\DOCS\\Old\\", 1, 3));
    EXPECT_EQ(Strings(model.Folders()),
              (std::vector<std::string>{"C:\\Docs\\", "D:\\", "C:\\DOCS\\Old\\"}));
    EXPECT_EQ(observer.added_folders, Strings(model.Folders()));
}

TEST_F(ScanModelTest, MailModelKeepsOrphanFolders) {
    ScanModel mail(false);
    std::vector<std::string> extensions;
    ASSERT_TRUE(LoadTypeGroup(kMailTypeGroup, extensions));
    mail.filter().SetExtensions(extensions);
    TakeInLine(mail, Line("inbox.pst", "NULL", 1, 0), observer);
    TakeInLine(mail, Line("old.dbx", "nil", 1, 1), observer);
    TakeInLine(mail, Line("a.msg", "C:\\Mail\\", 1, 2), observer);
    EXPECT_EQ(Strings(mail.Folders()), (std::vector<std::string>{"NULL", "nil", "C:\\Mail\\"}));
    EXPECT_EQ(
        Strings(FilesOfFolder("LostFiles", mail.MatchedLines())),
        (std::vector<std::string>{Line("inbox.pst", "NULL", 1, 0), Line("old.dbx", "nil", 1, 1)}));
}

TEST_F(ScanModelTest, ClearEmptiesTheScanButKeepsTheFilter) {
    model.filter().SetAllFiles(true);
    TakeIn(Line("a", "NULL", 7, 0));
    model.Clear();
    EXPECT_TRUE(model.MatchedLines().empty());
    EXPECT_TRUE(model.Folders().empty());
    EXPECT_TRUE(model.CurrentFields().empty());
    EXPECT_EQ(model.RecordsReceived(), 0u);
    EXPECT_EQ(model.SizeSum(), 0);
    EXPECT_EQ(model.OrphanCounter(), 0);
    TakeIn(Line("b", "C:\\", 7, 1));
    EXPECT_EQ(model.MatchedLines().size(), 1u);
}

TEST_F(ScanModelTest, StatisticsTextShowsTheCurrentLine) {
    model.filter().SetAllFiles(true);
    TakeIn(Line("a.txt", "C:\\", 1024, 0));
    TakeIn(Line("b.txt", "C:\\Docs\\", 1048576, 1));
    EXPECT_EQ(observer.info,
              "File Name\t\t:\tb.txt\r\n\r\n"
              "File Size\t\t:\t1.00 MB\r\n\r\n"
              "Scaned Files\t:\t2\r\n\r\n"
              "Total Sizes\t:\t1.00 MB\r\n\r\n"
              "Scaning Folder\t:\r\nC:\\Docs\\\r\n\r\n");
}

TEST_F(ScanModelTest, SizeSumSaturates) {
    model.filter().SetAllFiles(true);
    TakeIn(Line("a", "C:\\", INT64_MAX, 0));
    TakeIn(Line("b", "C:\\", 5, 1));
    EXPECT_EQ(model.SizeSum(), INT64_MAX);
}

TEST(FilesOfFolder, TakesTheFolderItselfOnly) {
    const std::vector<std::string> stored = {
        Line("a", "C:\\Doc\\", 1, 0),
        Line("b", "C:\\Docs\\", 1, 1),
        Line("c", "C:\\Docs\\Old\\", 1, 2),
        Line("d", "c:\\docs\\", 1, 3),
        Line("e", "LostFiles1", 1, 4),
        Line("f", "LostFiles10", 1, 5),
        Line("C:\\Docs", "D:\\", 1, 6),
        "C:\\Docs\\|x|1|t|7",
        Line("g", "NULL", 1, 8),
    };
    const std::vector<std::string_view> lines(stored.begin(), stored.end());
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"C:\\Doc", {stored[0]}},    {"C:\\Docs", {stored[1]}},  {"C:\\Docs\\Old", {stored[2]}},
        {"LostFiles1", {stored[4]}}, {"lostfiles", {stored[8]}}, {"C:\\Nothing", {}},
    };
    for (const auto& [path, taken] : cases)
        EXPECT_EQ(Strings(FilesOfFolder(path, lines)), taken) << path;
}

TEST(LinesForNode, DriveShowsTheFirst500OnceAndFoldersAllTheirLines) {
    std::vector<std::string> stored;
    for (int i = 0; i < 1200; ++i)
        stored.push_back(Line("f", i < 700 ? "C:\\Big\\" : "C:\\", 1, i));
    const std::vector<std::string_view> lines(stored.begin(), stored.end());
    std::string remembered;
    const auto drive = LinesForNode("C:", remembered, lines);
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->size(), 500u);
    EXPECT_EQ(drive->back(), stored[499]);
    EXPECT_EQ(remembered, "C:");
    EXPECT_FALSE(LinesForNode("C:", remembered, lines));
    const auto folder = LinesForNode("C:\\Big", remembered, lines);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->size(), 700u);
}

TEST(SelectLinesByIndex, ReportsEveryMatchInCheckedOrder) {
    const std::vector<std::string> stored = {
        Line("a", "C:\\", 1, 5), Line("b", "C:\\", 1, 9),  "bad|line|5",
        Line("c", "C:\\", 1, 5), Line("d", "C:\\", 1, 12),
    };
    const std::vector<std::string_view> lines(stored.begin(), stored.end());
    const std::vector<std::string> checked = {" 9 ", "5", "77"};
    std::vector<std::string> reported;
    const auto selected = SelectLinesByIndex(
        checked, lines, [&](std::string_view line) { reported.emplace_back(line); });
    const std::vector<std::string> expected = {stored[1], stored[0], stored[3]};
    EXPECT_EQ(Strings(selected), expected);
    EXPECT_EQ(reported, expected);
    EXPECT_TRUE(SelectLinesByIndex({}, lines, nullptr).empty());
}

TEST(LoadTypeGroup, LoadsTheFixedGroups) {
    const std::vector<std::pair<int, std::size_t>> sizes = {{0, 9}, {1, 12}, {2, 20},
                                                            {3, 9}, {4, 13}, {6, 13}};
    for (const auto& [group, size] : sizes) {
        std::vector<std::string> extensions;
        ASSERT_TRUE(LoadTypeGroup(group, extensions)) << group;
        EXPECT_EQ(extensions.size(), size) << group;
    }
    std::vector<std::string> extensions = {".keep"};
    ASSERT_TRUE(LoadTypeGroup(0, extensions));
    EXPECT_EQ(extensions.front(), ".jpg");
    EXPECT_EQ(extensions.back(), ".jpeg");
    for (const int group : {-1, 5, 7, 255}) EXPECT_FALSE(LoadTypeGroup(group, extensions)) << group;
    EXPECT_EQ(extensions.size(), 9u);
}

}  // namespace
}  // namespace tobrin::shell
