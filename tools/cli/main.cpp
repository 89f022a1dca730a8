// tobrin-cli: the command-line front end of the two recovery engines.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "report.h"
#include "tobrin/platform/machine.h"

namespace {

using tobrin::cli::Fail;
using tobrin::cli::kExitFailed;
using tobrin::cli::kExitOk;
using tobrin::cli::kExitUsage;
namespace platform = tobrin::platform;

int UsageError(const std::string& message) {
    tobrin::cli::Note("tobrin-cli: " + message + " (see tobrin-cli --help)");
    return kExitUsage;
}

void PrintDiskErrors(const std::vector<platform::DiskError>& errors) {
    for (const platform::DiskError& error : errors) Fail(error.message);
}

// Configures the disks of --disk, else the default ones. Returns an exit
// status when the run cannot go on.
std::optional<int> ConfigureDisks(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        const auto errors = platform::use_default_disks();
        PrintDiskErrors(errors);
        // Disks named in TOBRIN_DISKS are numbered like --disk ones; the
        // machine's own block devices are taken as far as they open.
        const char* named = std::getenv("TOBRIN_DISKS");
        if (!errors.empty() && named && *named) return kExitFailed;
        return std::nullopt;
    }
    std::vector<platform::DiskSource> sources;
    for (const std::string& argument : arguments) {
        std::string error;
        const auto source = platform::parse_disk_argument(argument, error);
        if (!source) return UsageError(error);
        sources.push_back(*source);
    }
    const auto errors = platform::use_disks(sources);
    PrintDiskErrors(errors);
    // A missing disk would shift the numbers of all disks after it.
    if (!errors.empty()) return kExitFailed;
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const auto parsed = tobrin::cli::ParseArguments(arguments);
    if (parsed.help) {
        std::fputs(tobrin::cli::kUsage.data(), stdout);
        return kExitOk;
    }
    if (!parsed.invocation) return UsageError(parsed.error);
    if (const auto status = ConfigureDisks(parsed.invocation->disks)) return *status;
    return tobrin::cli::RunCommand(*parsed.invocation);
}
