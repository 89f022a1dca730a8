#include "scan_model.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "shared_functions.h"

namespace tobrin::shell {
namespace {

bool IsUsable(std::string_view line, std::vector<std::string_view>& fields) {
    return SplitFields(line, kFieldCount, fields);
}

std::string LostFilesGroup(int group_number) {
    return std::string(kLostFilesFolder) + std::to_string(group_number);
}

// Replaces the folder field (a view into `line`) by the orphan group's folder.
void ReplaceFolderField(std::string& line, std::string_view folder_field, int group_number) {
    const auto offset = static_cast<std::size_t>(folder_field.data() - line.data());
    line.replace(offset, folder_field.size(), LostFilesGroup(group_number));
}

// A node's path names the folder field with its final "\"; orphan group
// folders (LostFiles3) carry none.
bool FolderFieldNames(std::string_view folder, std::string_view node_path) {
    if (folder.ends_with('\\')) folder.remove_suffix(1);
    return folder == node_path;
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

}  // namespace

std::string_view LineStore::Append(std::string_view line) {
    if (line.size() > free_size_) {
        const auto size = std::max(kBlockSize, line.size());
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        free_ = blocks_.back().get();
        free_size_ = size;
    }
    std::copy(line.begin(), line.end(), free_);
    const std::string_view stored(free_, line.size());
    free_ += line.size();
    free_size_ -= line.size();
    lines_.push_back(stored);
    return stored;
}

void LineStore::Clear() {
    lines_ = {};
    blocks_ = decltype(blocks_){};
    free_ = nullptr;
    free_size_ = 0;
}

std::size_t FolderList::NoCaseHash::operator()(std::string_view text) const {
    std::size_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(FoldCase(c))) * 1099511628211ull;
    }
    return hash;
}

bool FolderList::NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
    return EqualsNoCase(a, b);
}

bool FolderList::Add(std::string_view folder) {
    if (!seen_.insert(folder).second) return false;
    items_.push_back(folder);
    return true;
}

void FolderList::Clear() {
    items_ = {};
    seen_ = {};
}

void TypeFilter::SetExtensions(std::span<const std::string> extensions) {
    lower_extensions_.clear();
    for (const auto& extension : extensions) lower_extensions_.insert(LowerCase(extension));
}

bool TypeFilter::Passes(std::string_view file_name) const {
    if (all_files_) return true;
    const auto dot = file_name.rfind('.');
    const auto extension =
        dot == std::string_view::npos ? std::string_view{} : file_name.substr(dot);
    return lower_extensions_.contains(LowerCase(extension));
}

void ScanModel::Clear() {
    matched_.Clear();
    folders_.Clear();
    current_line_ = {};
    current_fields_ = {};
    records_received_ = 0;
    size_sum_ = 0;
    orphan_counter_ = 0;
    orphan_group_ = 0;
}

void ScanModel::RenameOrphan() {
    ReplaceFolderField(current_line_, current_fields_[kFieldFolder], orphan_group_);
    IsUsable(current_line_, current_fields_);
    if (++orphan_counter_ == kOrphansPerGroup) {
        orphan_counter_ = 0;
        ++orphan_group_;
    }
}

void ScanModel::Count() {
    ++records_received_;
    std::int64_t size = 0;
    if (ParseInt64(current_fields_[kFieldSize], size)) size_sum_ = SaturatingAdd(size_sum_, size);
}

void TakeInLine(ScanModel& model, std::string_view line, ScanObserver& observer) {
    // A line of the wrong shape is no orphan either: it takes no place in a
    // group, and the fields shown stay those of the last usable line.
    if (!IsUsable(line, model.incoming_fields_)) return;
    model.current_line_.assign(line);
    IsUsable(model.current_line_, model.current_fields_);
    if (model.rename_orphans_ && IsOrphanFolder(model.current_fields_[kFieldFolder])) {
        model.RenameOrphan();
    }
    if (model.filter_.Passes(model.current_fields_[kFieldName])) {
        const auto stored = model.matched_.Append(model.current_line_);
        const auto folder = model.current_fields_[kFieldFolder];
        const auto offset = static_cast<std::size_t>(folder.data() - model.current_line_.data());
        if (model.folders_.Add(stored.substr(offset, folder.size()))) observer.FolderAdded(model);
    }
    model.Count();
    observer.LineCounted(model);
}

bool IsOrphanFolder(std::string_view folder) {
    return EqualsNoCase(folder, "NULL") || EqualsNoCase(folder, "NIL");
}

bool RenameOrphanLine(std::string& line, int group_number) {
    std::vector<std::string_view> fields;
    if (!IsUsable(line, fields) || !IsOrphanFolder(fields[kFieldFolder])) return false;
    ReplaceFolderField(line, fields[kFieldFolder], group_number);
    return true;
}

std::string BuildScanInfoText(std::span<const std::string_view> fields, std::int64_t size_sum,
                              std::uint64_t records_received) {
    auto field = [fields](std::size_t index) {
        return index < fields.size() ? fields[index] : std::string_view{};
    };
    std::string text;
    text.append("File Name\t\t:\t").append(field(kFieldName)).append("\r\n\r\n");
    text.append("File Size\t\t:\t").append(FormatFileSize(field(kFieldSize))).append("\r\n\r\n");
    text.append("Scaned Files\t:\t").append(std::to_string(records_received)).append("\r\n\r\n");
    text.append("Total Sizes\t:\t").append(FormatFileSize(size_sum)).append("\r\n\r\n");
    text.append("Scaning Folder\t:\r\n").append(field(kFieldFolder)).append("\r\n\r\n");
    return text;
}

std::vector<std::string_view> FilesOfFolder(std::string_view node_path,
                                            std::span<const std::string_view> lines) {
    // The e-mail window's orphans keep "NULL" or "NIL" and show under LostFiles.
    const bool lost_files = EqualsNoCase(node_path, kLostFilesFolder);
    std::vector<std::string_view> taken;
    std::vector<std::string_view> fields;
    for (const auto line : lines) {
        if (!IsUsable(line, fields)) continue;
        const auto folder = fields[kFieldFolder];
        if (FolderFieldNames(folder, node_path) || (lost_files && IsOrphanFolder(folder))) {
            taken.push_back(line);
        }
    }
    return taken;
}

std::optional<std::vector<std::string_view>> LinesForNode(std::string_view node_path,
                                                          std::string& remembered_path,
                                                          std::span<const std::string_view> lines) {
    if (node_path == remembered_path) return std::nullopt;
    remembered_path = node_path;
    if (!IsDrivePath(node_path)) return FilesOfFolder(node_path, lines);
    const auto first = lines.first(std::min(lines.size(), kInitialRowLimit));
    return std::vector<std::string_view>(first.begin(), first.end());
}

std::vector<std::string_view> SelectLinesByIndex(
    std::span<const std::string> checked_indexes, std::span<const std::string_view> lines,
    const std::function<void(std::string_view)>& report) {
    // One pass over the lines, collecting them per distinct index, keeps a
    // large selection over a large scan linear.
    std::unordered_map<std::string_view, std::vector<std::string_view>> lines_of_index;
    for (const auto& index : checked_indexes) lines_of_index.try_emplace(Trim(index));
    std::vector<std::string_view> fields;
    for (const auto line : lines) {
        if (!IsUsable(line, fields)) continue;
        const auto found = lines_of_index.find(Trim(fields[kFieldIndex]));
        if (found != lines_of_index.end()) found->second.push_back(line);
    }
    std::vector<std::string_view> selected;
    for (const auto& index : checked_indexes) {
        for (const auto line : lines_of_index.at(Trim(index))) {
            selected.push_back(line);
            if (report) report(line);
        }
    }
    return selected;
}

bool LoadTypeGroup(int group, std::vector<std::string>& extensions) {
    static constexpr std::array<std::string_view, 5> kGroups = {
        ".jpg|.png|.tif|.gif|.jpeg|.bmp|.ico|.jp2|.jpeg",
        ".xls|.xla|.xlt|.ppt|.doc|.dot|.asd|.docx|.odt|.ods|.pdf|.txt",
        ".afz|.rfb|.rdb|.bkf|.qcf|.rar|.zip|.cab|.arj|.lzh|.ace|.7z|.tar|.gzip|.uue|.bz2|.jar|"
        ".iso|.7zip|.gz",
        ".mp3|.m4a|.mp2|.mp|.mp1|.m4b|.m4p|.mid|.midi",
        ".mts|.m2ts|.hdtv|.avi|.mov|.mp4|.mpg|.mpeg|.m1v|.vro|.avi|.rmvb|.rm",
    };
    static constexpr std::string_view kMailGroup =
        ".edb|.eml|.mbx|.bkl|.bks|.bmf|.nsf|.wab|.pst|.pab|.fst|.dbx|.msg";
    std::string_view text;
    if (group >= 0 && group < static_cast<int>(kGroups.size())) {
        text = kGroups[static_cast<std::size_t>(group)];
    } else if (group == kMailTypeGroup) {
        text = kMailGroup;
    } else {
        return false;
    }
    std::vector<std::string_view> pieces;
    SplitAt('|', text, pieces);
    extensions.assign(pieces.begin(), pieces.end());
    return true;
}

}  // namespace tobrin::shell
