// The error paths that need no file system: wrong usage, missing disks, a
// letter that is not a volume, a target directory that does not exist.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli_process.h"

namespace tobrin::cli::test {
namespace {

// A disk of zeros: no partition table, no volume.
std::string BlankDisk() {
    const std::string path = MakeTempDir("disk") + "/blank.img";
    std::ofstream(path, std::ios::binary) << std::string(1 << 20, '\0');
    return path;
}

bool IsOneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

struct ErrorCase {
    std::vector<std::string> arguments;
    int status;
    std::string message_part;
};

TEST(CliErrors, EachFailureIsOneLineWithItsStatus) {
    const std::string disk = BlankDisk();
    const std::string missing_dir = MakeTempDir("target") + "/not-there";
    const std::vector<ErrorCase> cases = {
        {{}, 2, "no command given"},
        {{"--disk", disk, "fly"}, 2, "unknown command 'fly'"},
        {{"--disk", disk, "scan", "C"}, 2, "not a drive letter"},
        {{"--disk", disk, "recover", "C:", "--to", "x"}, 2, "--index, --all or --name"},
        {{"--disk", disk + "@1000", "volumes"}, 2, "1000"},
        {{"--disk", "/no/such/disk.img", "volumes"}, 1, "/no/such/disk.img"},
        {{"--disk", disk, "scan", "Q:"}, 1, "Q: is not a volume"},
        {{"--disk", disk, "cat", "Q:", "0"}, 1, "Q: is not a volume"},
        {{"--disk", disk, "raw-scan", "0"}, 1, "partition 0 does not exist"},
        {{"--disk", disk, "recover", "C:", "--to", missing_dir, "--all"},
         1,
         "target directory " + missing_dir + " does not exist"},
    };
    for (const ErrorCase& c : cases) {
        const CliRun run = RunCli(c.arguments);
        const std::string shown = c.arguments.empty() ? "(none)" : c.arguments.back();
        EXPECT_EQ(run.status, c.status) << shown << ": " << run.err;
        EXPECT_TRUE(IsOneLine(run.err)) << shown << ": " << run.err;
        EXPECT_NE(run.err.find(c.message_part), std::string::npos) << shown << ": " << run.err;
        EXPECT_EQ(run.out, "") << shown;
    }
}

TEST(CliErrors, AMissingDiskOfTobrinDisksStopsTheRun) {
    const std::string disk = BlankDisk();
    setenv("TOBRIN_DISKS", ("/no/such/disk.img:" + disk).c_str(), 1);
    const CliRun run = RunCli({"volumes"});
    unsetenv("TOBRIN_DISKS");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(IsOneLine(run.err)) << run.err;
    EXPECT_NE(run.err.find("/no/such/disk.img"), std::string::npos) << run.err;
}

TEST(CliErrors, HelpGoesToStandardOutput) {
    const CliRun run = RunCli({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("raw-recover N --to DIR SELECT"), std::string::npos);
    EXPECT_EQ(run.err, "");
}

TEST(CliErrors, ADiskWithoutVolumesListsNone) {
    const CliRun run = RunCli({"--disk", BlankDisk(), "volumes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "VOLUME\tDEVICE\tFS\tSIZE\n");
}

}  // namespace
}  // namespace tobrin::cli::test
