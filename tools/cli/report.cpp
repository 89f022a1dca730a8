#include "report.h"

#include <cstdio>
#include <string>

namespace tobrin::cli {

int Fail(std::string_view message) {
    Note("tobrin-cli: " + std::string(message));
    return kExitFailed;
}

void Note(std::string_view line) {
    std::fflush(stdout);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

void Row(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace tobrin::cli
