#include "recovery.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "report.h"
#include "scan_model.h"
#include "shared_functions.h"
#include "target_names.h"

namespace tobrin::cli {
namespace {

std::string_view OutcomeName(bool recovered, bool skipped) {
    if (recovered) return "recovered";
    return skipped ? "skipped" : "failed";
}

std::uint32_t IndexOf(std::string_view text) {
    std::uint32_t index = 0;
    std::from_chars(text.data(), text.data() + text.size(), index);
    return index;
}

bool IsRealDirectory(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool PathTaken(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::optional<std::string> MakeFolders(const std::string& base,
                                       const std::vector<std::string>& folders,
                                       std::string& error) {
    std::string path = base;
    for (const std::string& folder : folders) {
        path += '/';
        path += folder;
        if (mkdir(path.c_str(), 0777) == 0) continue;
        if (errno == EEXIST && IsRealDirectory(path)) continue;
        error = "cannot make the folder " + path +
                (errno == EEXIST ? ": something that is not a folder is in the way"
                                 : ": " + std::string(std::strerror(errno)));
        return std::nullopt;
    }
    return path;
}

void Recoverer::Take(std::string_view line) {
    std::vector<std::string_view> fields;
    if (!shell::SplitFields(line, shell::kFieldCount, fields)) return;
    const std::string_view index = shell::Trim(fields[shell::kFieldIndex]);
    std::string folder = options_.target_dir;
    if (options_.tree) {
        std::string error;
        const auto made = MakeFolders(folder, TreeFolders(fields[shell::kFieldFolder]), error);
        if (!made) {
            Fail(error);
            ++totals_.failed;
            progress_.Count();
            return;
        }
        folder = *made;
    }
    const std::string target = folder + "/" + FlatTargetName(index, fields[shell::kFieldName]);
    Report(RecoverTo(IndexOf(index), target), line, target);
}

Recoverer::Outcome Recoverer::RecoverTo(std::uint32_t index, const std::string& target) {
    if (PathTaken(target)) return Outcome::kSkipped;
    return source_.Recover(index, target) ? Outcome::kRecovered : Outcome::kFailed;
}

void Recoverer::Report(Outcome outcome, std::string_view line, const std::string& target) {
    progress_.Count();
    const bool recovered = outcome == Outcome::kRecovered;
    const bool skipped = outcome == Outcome::kSkipped;
    ++(recovered ? totals_.recovered : skipped ? totals_.skipped : totals_.failed);
    if (outcome == Outcome::kFailed) {
        Fail("could not recover " + std::string(line) + " from " + source_.name() + " to " +
             target);
    }
    if (options_.quiet) return;
    const std::string_view status = OutcomeName(recovered, skipped);
    if (options_.json) {
        Row(FoundFileObject(line, source_.kind())
                .Add("target", target)
                .Add("result", status)
                .Text());
        return;
    }
    Row(std::string(status) + "\t" + target);
}

}  // namespace tobrin::cli
