// Runs the tobrin-cli binary as a separate process and captures what it wrote.
#pragma once

#include <string>
#include <vector>

namespace tobrin::cli::test {

struct CliRun {
    int status = -1;  // exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs tobrin-cli with `arguments`; standard input is empty.
CliRun RunCli(const std::vector<std::string>& arguments);

// A fresh empty directory under the test's temporary folder.
std::string MakeTempDir(const std::string& name);

}  // namespace tobrin::cli::test
