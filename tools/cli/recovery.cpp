#include "recovery.h"

#include <sys/stat.h>

#include <charconv>

#include "report.h"
#include "scan_model.h"
#include "shared_functions.h"
#include "target_names.h"

namespace tobrin::cli {
namespace {

std::string_view OutcomeName(Recoverer::Outcome outcome) {
    switch (outcome) {
        case Recoverer::Outcome::kRecovered:
            return "recovered";
        case Recoverer::Outcome::kSkipped:
            return "skipped";
        case Recoverer::Outcome::kFailed:
            break;
    }
    return "failed";
}

std::uint32_t IndexOf(std::string_view text) {
    std::uint32_t index = 0;
    std::from_chars(text.data(), text.data() + text.size(), index);
    return index;
}

}  // namespace

void Recoverer::Take(std::string_view line) {
    std::vector<std::string_view> fields;
    if (!shell::SplitFields(line, shell::kFieldCount, fields)) return;
    Report(Attempt(fields), line, fields);
}

Recoverer::Result Recoverer::Attempt(std::span<const std::string_view> fields) {
    const std::string_view index = shell::Trim(fields[shell::kFieldIndex]);
    std::string folder = options_.target_dir;
    if (options_.tree) {
        std::string error;
        const auto made =
            MakeFolders(folder, shell::TreeFolders(fields[shell::kFieldFolder]), error);
        if (!made) return {Outcome::kFailed, folder, error};
        folder = *made;
    }
    const std::string target =
        folder + "/" + shell::FlatTargetName(index, fields[shell::kFieldName]);
    if (PathTaken(target)) return {Outcome::kSkipped, target, {}};
    if (!source_.Recover(IndexOf(index), target)) {
        return {Outcome::kFailed, target, "the engine could not copy it"};
    }
    return CheckSize(target, fields[shell::kFieldSize]);
}

// An engine may report success for a copy that came out short (unreadable
// clusters skipped, a run list that ends early); such a file is not recovered.
Recoverer::Result Recoverer::CheckSize(const std::string& target, std::string_view size_text) {
    std::int64_t expected = 0;
    struct stat info {};
    if (!shell::ParseInt64(size_text, expected) || lstat(target.c_str(), &info) != 0) {
        return {Outcome::kFailed, target, "the copy cannot be checked"};
    }
    if (info.st_size < expected) {
        return {Outcome::kFailed, target,
                "only " + std::to_string(info.st_size) + " of its " + std::to_string(expected) +
                    " bytes could be read"};
    }
    return {Outcome::kRecovered, target, {}};
}

void Recoverer::Report(const Result& result, std::string_view line,
                       std::span<const std::string_view> fields) {
    progress_.Count();
    ++(result.outcome == Outcome::kRecovered ? totals_.recovered
       : result.outcome == Outcome::kSkipped ? totals_.skipped
                                             : totals_.failed);
    if (result.outcome == Outcome::kFailed) {
        Fail("could not recover file " + std::string(fields[shell::kFieldIndex]) + " (" +
             std::string(fields[shell::kFieldName]) + ") of " + source_.name() + " to " +
             result.target + ": " + result.problem);
    }
    if (options_.quiet) return;
    const std::string_view status = OutcomeName(result.outcome);
    if (options_.json) {
        Row(FoundFileObject(line, source_.kind())
                .Add("target", result.target)
                .Add("result", status)
                .Text());
        return;
    }
    Row(std::string(status) + "\t" + result.target);
}

}  // namespace tobrin::cli
