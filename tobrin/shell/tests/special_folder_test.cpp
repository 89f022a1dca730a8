#include "special_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tobrin::shell {
namespace {

namespace fs = std::filesystem;

class SpecialFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() /
                (std::string("tobrin-home-") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(home_);
        fs::create_directories(home_ / ".config");
        ::setenv("HOME", home_.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override { fs::remove_all(home_); }

    fs::path home_;
};

TEST_F(SpecialFolder, FollowsTheXdgDesktopEntry) {
    std::ofstream(home_ / ".config/user-dirs.dirs")
        << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    fs::create_directory(home_ / "Schreibtisch");
    EXPECT_EQ(GetSpecialFolder(kCsidlDesktopDirectory, false), (home_ / "Schreibtisch").string());
}

TEST_F(SpecialFolder, FallsBackToDesktopInHome) {
    EXPECT_EQ(GetSpecialFolder(kCsidlDesktopDirectory, false), "");
    EXPECT_EQ(GetSpecialFolder(kCsidlDesktopDirectory, true), (home_ / "Desktop").string());
    EXPECT_TRUE(fs::is_directory(home_ / "Desktop"));
}

TEST_F(SpecialFolder, KnowsNoOtherFolder) {
    fs::create_directory(home_ / "Desktop");
    EXPECT_EQ(GetSpecialFolder(5, true), "");
}

}  // namespace
}  // namespace tobrin::shell
