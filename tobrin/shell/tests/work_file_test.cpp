#include "work_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace tobrin::shell {
namespace {

namespace fs = std::filesystem;

class PreviewWorkFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tobrin-work-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "ViewFile.tmp").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<char> Contents() const {
        std::ifstream file(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
    std::string path_;
};

std::vector<std::byte> Bytes(std::string_view text) {
    std::vector<std::byte> bytes;
    for (const char c : text) bytes.push_back(static_cast<std::byte>(c));
    return bytes;
}

TEST_F(PreviewWorkFile, CreateTruncatesAndExtendsWithZeros) {
    std::ofstream(path_) << "old contents that are longer than the new size";
    ASSERT_TRUE(CreateSizedFile(path_, 16));
    EXPECT_EQ(Contents(), std::vector<char>(16, '\0'));
    ASSERT_TRUE(CreateSizedFile(path_, 10'485'760));
    EXPECT_EQ(fs::file_size(path_), 10'485'760u);
}

TEST_F(PreviewWorkFile, WriteCopiesAtMostTheFileSize) {
    ASSERT_TRUE(CreateSizedFile(path_, 8));
    ASSERT_TRUE(WriteFileContents(path_, 8, Bytes("abc")));
    EXPECT_EQ(Contents(), (std::vector<char>{'a', 'b', 'c', 0, 0, 0, 0, 0}));
    ASSERT_TRUE(WriteFileContents(path_, 4, Bytes("0123456789")));
    EXPECT_EQ(Contents(), (std::vector<char>{'0', '1', '2', '3', 0, 0, 0, 0}));
    ASSERT_TRUE(WriteFileContents(path_, 12, Bytes("")));
    EXPECT_EQ(fs::file_size(path_), 12u);
}

TEST_F(PreviewWorkFile, ZeroClearsTheFirstBytes) {
    std::ofstream(path_) << "abcdefgh";
    ASSERT_TRUE(ZeroFileContents(path_, 4));
    EXPECT_EQ(Contents(), (std::vector<char>{0, 0, 0, 0, 'e', 'f', 'g', 'h'}));
    ASSERT_TRUE(ZeroFileContents(path_, 10));
    EXPECT_EQ(Contents(), std::vector<char>(10, '\0'));
}

TEST_F(PreviewWorkFile, HelpersNeedAnExistingFile) {
    EXPECT_FALSE(ZeroFileContents(path_, 4));
    EXPECT_FALSE(WriteFileContents(path_, 4, Bytes("abcd")));
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_FALSE(CreateSizedFile((dir_ / "no/such/dir").string(), 4));
}

TEST_F(PreviewWorkFile, InUseWhileAnotherHolderLocksIt) {
    EXPECT_FALSE(IsFileInUse(path_));
    ASSERT_TRUE(CreateSizedFile(path_, 64));
    EXPECT_FALSE(IsFileInUse(path_));
    const int holder = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_TRUE(IsFileInUse(path_));
    EXPECT_FALSE(WriteFileContents(path_, 64, Bytes("x")));
    ::close(holder);
    EXPECT_FALSE(IsFileInUse(path_));
}

}  // namespace
}  // namespace tobrin::shell
