#include "cli_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace tobrin::cli::test {
namespace {

std::filesystem::path RunFolder() {
    return std::filesystem::temp_directory_path() / ("tobrin-cli-" + std::to_string(getpid()));
}

// Removes the run's temporary folders (image copies, recovered files) at the end.
class TempCleanup : public ::testing::Environment {
  public:
    void TearDown() override { std::filesystem::remove_all(RunFolder()); }
};

const auto* const kTempCleanup = ::testing::AddGlobalTestEnvironment(new TempCleanup);

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::string MakeTempDir(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir = RunFolder() / (std::string(info->name()) + "-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

CliRun RunCli(const std::vector<std::string>& arguments) {
    const std::string dir = MakeTempDir("io");
    const std::string out_path = dir + "/out", err_path = dir + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argv_text{TOBRIN_CLI_PATH};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argv_text) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    CliRun run;
    if (posix_spawn(&pid, TOBRIN_CLI_PATH, &actions, nullptr, argv.data(), environ) == 0) {
        int wait_status = 0;
        waitpid(pid, &wait_status, 0);
        if (WIFEXITED(wait_status)) run.status = WEXITSTATUS(wait_status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadWhole(out_path);
    run.err = ReadWhole(err_path);
    return run;
}

}  // namespace tobrin::cli::test
