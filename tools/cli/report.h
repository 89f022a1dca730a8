// Output of tobrin-cli: rows on standard output, one-line errors and
// summaries on standard error.
#pragma once

#include <string_view>

namespace tobrin::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Writes "tobrin-cli: MESSAGE" as one line on standard error; returns kExitFailed.
int Fail(std::string_view message);
// Writes one line on standard error.
void Note(std::string_view line);
// Writes one line on standard output.
void Row(std::string_view line);

}  // namespace tobrin::cli
