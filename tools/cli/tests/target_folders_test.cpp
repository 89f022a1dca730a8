#include "target_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace tobrin::cli {
namespace {

namespace fs = std::filesystem;

fs::path FreshDir(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("tobrin-cli-folders-" + std::to_string(getpid())) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(MakeFolders, CreatesTheChainAndReusesRealFolders) {
    const fs::path base = FreshDir("chain");
    std::string error;
    const auto made = MakeFolders(base.string(), {"Docs", "Old"}, error);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(*made, (base / "Docs" / "Old").string());
    EXPECT_TRUE(fs::is_directory(*made));
    EXPECT_EQ(MakeFolders(base.string(), {"Docs", "New"}, error), (base / "Docs" / "New").string());
}

TEST(MakeFolders, RefusesALinkOrAFileInTheWay) {
    const fs::path base = FreshDir("links");
    const fs::path outside = FreshDir("outside");
    fs::create_directory_symlink(outside, base / "Docs");
    std::ofstream(base / "Plain") << "x";
    std::string error;
    EXPECT_FALSE(MakeFolders(base.string(), {"Docs", "Old"}, error));
    EXPECT_NE(error.find("not a folder is in the way"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(outside / "Old"));
    EXPECT_FALSE(MakeFolders(base.string(), {"Plain"}, error));
}

TEST(PathTaken, SeesFilesFoldersAndDanglingLinks) {
    const fs::path base = FreshDir("taken");
    std::ofstream(base / "file") << "x";
    fs::create_symlink(base / "nowhere", base / "dangling");
    EXPECT_TRUE(PathTaken((base / "file").string()));
    EXPECT_TRUE(PathTaken(base.string()));
    EXPECT_TRUE(PathTaken((base / "dangling").string()));
    EXPECT_FALSE(PathTaken((base / "free").string()));
}

}  // namespace
}  // namespace tobrin::cli
