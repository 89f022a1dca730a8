// The command line of tobrin-cli, parsed into a plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tobrin::cli {

enum class Command { kVolumes, kScan, kRecover, kPartitions, kRawScan, kRawRecover, kCat };

// Which found files a recovery takes.
struct Selection {
    enum class Kind { kNone, kIndexes, kAll, kName };
    Kind kind = Kind::kNone;
    std::vector<std::uint32_t> indexes;
    std::string pattern;
    bool case_sensitive = false;
    bool whole_name = false;
};

// A found file's source: a lettered volume or a partition of the partition list.
struct Source {
    bool is_volume = false;
    std::string volume;  // "C:" (upper case) when is_volume
    std::uint32_t partition = 0;
};

struct Invocation {
    std::vector<std::string> disks;  // --disk arguments, in order
    Command command = Command::kVolumes;
    Source source;
    std::uint32_t file_index = 0;  // cat
    std::string target_dir;        // --to
    Selection selection;
    bool json = false;
    bool quiet = false;
    bool tree = false;
};

struct ParseResult {
    std::optional<Invocation> invocation;
    bool help = false;
    std::string error;  // wrong usage, one line
};

ParseResult ParseArguments(std::span<const std::string_view> arguments);

extern const std::string_view kUsage;

}  // namespace tobrin::cli
