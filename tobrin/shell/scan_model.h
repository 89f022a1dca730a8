// The front end's record of a scan: the engine's found-file lines themselves,
// with the type filter, folder list, orphan groups and running statistics
// derived while they arrive. Knows nothing of widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tobrin::shell {

// Positions of the fields of a found-file line.
enum Field : std::size_t {
    kFieldName = 0,
    kFieldFolder = 1,
    kFieldSize = 2,
    kFieldTime = 3,
    kFieldIndex = 4,
    kFieldLast = 5,
    kFieldCount = 6,
};

constexpr std::string_view kLostFilesFolder = "LostFiles";
constexpr int kOrphansPerGroup = 1000;
constexpr std::size_t kInitialRowLimit = 500;

// Text kept once, in large blocks, and handed out as stable views.
class LineStore {
  public:
    std::string_view Append(std::string_view line);
    std::span<const std::string_view> lines() const { return lines_; }
    void Clear();

  private:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t free_size_ = 0;
    std::vector<std::string_view> lines_;
};

// Distinct folder texts in order of first arrival, compared without regard
// to case. Holds views: the texts must outlive the list.
class FolderList {
  public:
    // True when the folder was new.
    bool Add(std::string_view folder);
    std::span<const std::string_view> items() const { return items_; }
    void Clear();

  private:
    struct NoCaseHash {
        std::size_t operator()(std::string_view text) const;
    };
    struct NoCaseEqual {
        bool operator()(std::string_view a, std::string_view b) const;
    };
    std::vector<std::string_view> items_;
    std::unordered_set<std::string_view, NoCaseHash, NoCaseEqual> seen_;
};

// Which file names a scan keeps: all, or those whose extension (".jpg", the
// point included) is in the list, compared without regard to case.
class TypeFilter {
  public:
    void SetAllFiles(bool all_files) { all_files_ = all_files; }
    void SetExtensions(std::span<const std::string> extensions);
    bool Passes(std::string_view file_name) const;

  private:
    bool all_files_ = false;
    std::unordered_set<std::string> lower_extensions_;
};

class ScanModel;

// The window's side of an intake. Both calls come from the scan worker; a
// window hands them to its UI thread and returns once they are applied.
class ScanObserver {
  public:
    virtual ~ScanObserver() = default;
    virtual void FolderAdded(const ScanModel& model) = 0;
    // After every usable line, matched or not, with the statistics updated.
    virtual void LineCounted(const ScanModel& model) = 0;
};

class ScanModel {
  public:
    // The e-mail window keeps orphans' folder fields as the engine wrote them.
    explicit ScanModel(bool rename_orphans = true) : rename_orphans_(rename_orphans) {}

    TypeFilter& filter() { return filter_; }
    // Empties everything a scan fills; the type filter stays.
    void Clear();

    std::span<const std::string_view> MatchedLines() const { return matched_.lines(); }
    std::span<const std::string_view> Folders() const { return folders_.items(); }
    // The fields of the usable line taken in last.
    std::span<const std::string_view> CurrentFields() const { return current_fields_; }
    std::uint64_t RecordsReceived() const { return records_received_; }
    std::int64_t SizeSum() const { return size_sum_; }
    int OrphanCounter() const { return orphan_counter_; }
    int OrphanGroup() const { return orphan_group_; }

    friend void TakeInLine(ScanModel& model, std::string_view line, ScanObserver& observer);

  private:
    void RenameOrphan();
    void Count();

    bool rename_orphans_;
    TypeFilter filter_;
    LineStore matched_;
    FolderList folders_;
    std::string current_line_;
    std::vector<std::string_view> current_fields_;
    std::vector<std::string_view> incoming_fields_;  // reused to test each line's shape
    std::uint64_t records_received_ = 0;
    std::int64_t size_sum_ = 0;
    int orphan_counter_ = 0;
    int orphan_group_ = 0;
};

// Takes one found-file line into the model, on the scan worker.
void TakeInLine(ScanModel& model, std::string_view line, ScanObserver& observer);

// Whether a folder field marks a file whose folder chain was lost.
bool IsOrphanFolder(std::string_view folder);
// Gives an orphan line the folder LostFiles<group>; false for any other line.
bool RenameOrphanLine(std::string& line, int group_number);

// The scanning-information text shown while a scan runs.
std::string BuildScanInfoText(std::span<const std::string_view> fields, std::int64_t size_sum,
                              std::uint64_t records_received);

// The lines that a tree node at `node_path` (no trailing "\") lists.
std::vector<std::string_view> FilesOfFolder(std::string_view node_path,
                                            std::span<const std::string_view> lines);

// The lines a click on the node at `node_path` shows: the first lines of
// the scan for a drive, the folder's lines otherwise. Nothing when the node
// is the one remembered as shown; otherwise it becomes the remembered one.
std::optional<std::vector<std::string_view>> LinesForNode(std::string_view node_path,
                                                          std::string& remembered_path,
                                                          std::span<const std::string_view> lines);

// Every line whose file index equals one of the checked indexes, in the
// order of the indexes and then of the lines; each is also passed to `report`.
std::vector<std::string_view> SelectLinesByIndex(
    std::span<const std::string> checked_indexes, std::span<const std::string_view> lines,
    const std::function<void(std::string_view)>& report);

// The e-mail window's fixed group of extensions.
constexpr int kMailTypeGroup = 6;
// Replaces `extensions` by a fixed type group; an unknown group changes nothing.
bool LoadTypeGroup(int group, std::vector<std::string>& extensions);

}  // namespace tobrin::shell
