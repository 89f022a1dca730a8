#include "json.h"

#include <gtest/gtest.h>

namespace tobrin::cli {
namespace {

TEST(JsonString, EscapesAndKeepsValidUtf8) {
    EXPECT_EQ(JsonString("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(JsonString("tab\there\n"), R"("tab\there\n")");
    EXPECT_EQ(JsonString("\x01"), R"("\u0001")");
    EXPECT_EQ(JsonString("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    // A lone Latin-1 byte, a cut sequence and an overlong form are not UTF-8.
    EXPECT_EQ(JsonString("caf\xE9"), R"("caf\ufffd")");
    EXPECT_EQ(JsonString("\xE2\x82"), R"("\ufffd\ufffd")");
    EXPECT_EQ(JsonString("\xC0\xAF"), R"("\ufffd\ufffd")");
}

TEST(FoundFileObject, ReadsBothLineKinds) {
    EXPECT_EQ(
        FoundFileObject("report.doc|C:\\Docs\\|12345|7/4/2009 14:5:9|17|87%", LineKind::kVolume)
            .Text(),
        R"({"name":"report.doc","folder":"C:\\Docs\\","size":12345,)"
        R"("time":"7/4/2009 14:5:9","index":17,"integrality":87})");
    EXPECT_EQ(FoundFileObject("a.txt|C:\\|5|1/2/2010 3:4:5|0|1", LineKind::kRaw).Text(),
              R"({"name":"a.txt","folder":"C:\\","size":5,"time":"1/2/2010 3:4:5",)"
              R"("index":0,"deleted":true})");
    EXPECT_EQ(FoundFileObject("a.txt|C:\\|5|1/2/2010 3:4:5|0|0", LineKind::kRaw)
                      .Text()
                      .find(R"("deleted":false)") != std::string::npos,
              true);
    EXPECT_EQ(FoundFileObject("broken|line", LineKind::kVolume).Text(),
              R"({"line":"broken|line"})");
}

}  // namespace
}  // namespace tobrin::cli
