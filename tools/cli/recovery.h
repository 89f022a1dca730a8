// Copies selected found files into the target directory, flat or along
// their folder paths, never over an existing file and never outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engines.h"
#include "progress.h"
#include "target_folders.h"

namespace tobrin::cli {

struct RecoveryTotals {
    std::uint64_t recovered = 0;
    std::uint64_t skipped = 0;
    std::uint64_t failed = 0;
};

struct RecoveryOptions {
    std::string target_dir;
    bool tree = false;
    bool json = false;
    bool quiet = false;
};

class Recoverer {
  public:
    Recoverer(FileSource& source, RecoveryOptions options, Progress& progress)
        : source_(source), options_(std::move(options)), progress_(progress) {}

    // Recovers the file of one usable found-file line and reports it.
    void Take(std::string_view line);
    const RecoveryTotals& totals() const { return totals_; }

    enum class Outcome { kRecovered, kSkipped, kFailed };

  private:
    struct Result {
        Outcome outcome;
        std::string target;   // the file, or the folder that could not be made
        std::string problem;  // why it failed
    };
    Result Attempt(std::span<const std::string_view> fields);
    static Result CheckSize(const std::string& target, std::string_view size_text);
    void Report(const Result& result, std::string_view line,
                std::span<const std::string_view> fields);

    FileSource& source_;
    RecoveryOptions options_;
    Progress& progress_;
    RecoveryTotals totals_;
};

}  // namespace tobrin::cli
