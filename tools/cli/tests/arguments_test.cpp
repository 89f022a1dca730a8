#include "arguments.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tobrin::cli {
namespace {

ParseResult Parse(std::vector<std::string_view> arguments) {
    return ParseArguments(arguments);
}

TEST(ParseArguments, ReadsARecoveryWithDisksAndOptions) {
    const auto result = Parse({"--disk", "a.img", "--disk=b.img@4096", "recover", "d:", "--to",
                               "out", "--index", "3", "--index", "17", "--tree", "--json"});
    ASSERT_TRUE(result.invocation) << result.error;
    const Invocation& invocation = *result.invocation;
    EXPECT_EQ(invocation.disks, (std::vector<std::string>{"a.img", "b.img@4096"}));
    EXPECT_EQ(invocation.command, Command::kRecover);
    EXPECT_TRUE(invocation.source.is_volume);
    EXPECT_EQ(invocation.source.volume, "D:");
    EXPECT_EQ(invocation.target_dir, "out");
    EXPECT_EQ(invocation.selection.kind, Selection::Kind::kIndexes);
    EXPECT_EQ(invocation.selection.indexes, (std::vector<std::uint32_t>{3, 17}));
    EXPECT_TRUE(invocation.tree);
    EXPECT_TRUE(invocation.json);
}

TEST(ParseArguments, ReadsNameSelectionAndCat) {
    const auto raw = Parse({"raw-recover", "2", "--to", "out", "--name", " photo ",
                            "--case-sensitive", "--whole-name", "--quiet"});
    ASSERT_TRUE(raw.invocation) << raw.error;
    EXPECT_EQ(raw.invocation->source.partition, 2u);
    EXPECT_FALSE(raw.invocation->source.is_volume);
    EXPECT_EQ(raw.invocation->selection.pattern, " photo ");
    EXPECT_TRUE(raw.invocation->selection.case_sensitive);
    EXPECT_TRUE(raw.invocation->selection.whole_name);

    const auto cat_volume = Parse({"cat", "C:", "12"});
    ASSERT_TRUE(cat_volume.invocation) << cat_volume.error;
    EXPECT_EQ(cat_volume.invocation->source.volume, "C:");
    EXPECT_EQ(cat_volume.invocation->file_index, 12u);
    const auto cat_partition = Parse({"cat", "4", "0"});
    ASSERT_TRUE(cat_partition.invocation) << cat_partition.error;
    EXPECT_EQ(cat_partition.invocation->source.partition, 4u);
}

TEST(ParseArguments, AsksForHelp) {
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"scan", "-h"}).help);
}

struct WrongUsage {
    std::vector<std::string_view> arguments;
    std::string_view error_part;
};

TEST(ParseArguments, RefusesWrongUsageWithOneLine) {
    const std::vector<WrongUsage> cases = {
        {{}, "no command"},
        {{"fly"}, "unknown command"},
        {{"--frobnicate", "volumes"}, "unknown option"},
        {{"scan"}, "takes 1 argument"},
        {{"volumes", "C:"}, "takes 0 arguments"},
        {{"scan", "C"}, "not a drive letter"},
        {{"scan", "1:"}, "not a drive letter"},
        {{"raw-scan", "x"}, "not a partition number"},
        {{"raw-scan", "-1"}, "unknown option"},
        {{"recover", "C:", "--all"}, "needs --to"},
        {{"recover", "C:", "--to", "out"}, "needs --index, --all or --name"},
        {{"recover", "C:", "--to", "out", "--all", "--index", "1"}, "choose one"},
        {{"recover", "C:", "--to", "out", "--name", "a", "--name", "b"}, "--name given twice"},
        {{"recover", "C:", "--to", "out", "--index", "x"}, "needs a file index"},
        {{"recover", "C:", "--to", "out", "--all", "--whole-name"}, "go with --name"},
        {{"recover", "C:", "--to"}, "needs a value"},
        {{"scan", "C:", "--all"}, "belong to recover"},
        {{"scan", "C:", "--tree"}, "belong to recover"},
        {{"cat", "C:", "x"}, "not a file index"},
        {{"cat", "CC", "1"}, "drive letter such as C: or a partition number"},
        {{"cat", "C:", "1", "--json"}, "--json does not apply"},
        {{"--json=yes", "volumes"}, "takes no value"},
    };
    for (const WrongUsage& c : cases) {
        const auto result = Parse(c.arguments);
        EXPECT_FALSE(result.invocation) << c.error_part;
        EXPECT_NE(result.error.find(c.error_part), std::string::npos) << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace tobrin::cli
