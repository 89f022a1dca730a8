#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "context.h"
#include "image_builders.h"
#include "tobrin/platform/text.h"

namespace volscan {
namespace {

using namespace volscan::testing;

std::uint64_t filetime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return (static_cast<std::uint64_t>(timegm(&t)) + 11644473600ull) * 10000000ull;
}

constexpr std::uint16_t kFile = 0, kFolder = 2, kLiveFolder = 3, kLiveFile = 1;

ByteVector read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), {});
}

class NtfsScan : public ::testing::Test {
  protected:
    void SetUp() override {
        LineSink::reset();
        dir_ = std::filesystem::temp_directory_path() /
               ("volscan_ntfs_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    ContextPtr open(const NtfsImage& image) {
        devices_ = mount({image.bytes()});
        ContextPtr context(InitVolumeInfo("C:"));
        EXPECT_TRUE(context);
        return context;
    }
    std::vector<std::string> scan(const NtfsImage& image) {
        context_ = open(image);
        if (!context_) return {};
        EXPECT_EQ(ScanVolume(context_.get(), LineSink::take), 1);
        return LineSink::lines;
    }
    std::string target(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::vector<std::shared_ptr<tobrin::platform::MemoryDevice>> devices_;
    ContextPtr context_;
};

// Folders and files around the root, with the sequence numbers NTFS keeps.
NtfsImage tree_image() {
    NtfsImage image;
    const auto t = filetime(2009, 7, 4, 14, 5, 9);
    image.record(16, 3, kLiveFolder, {file_name(reference(5, 5), u"Docs")});
    image.record(17, 4, kFolder, {file_name(reference(16, 3), u"Old")});  // freed: 3 -> 4
    image.record(20, 2, kFile,
                 {standard_information(0), file_name(reference(16, 3), u"report.doc", 1, t),
                  resident_attribute(0x80, pattern(700, 1))});
    image.record(
        21, 2, kFile,
        {file_name(reference(17, 3), u"inner.txt", 1, t), resident_attribute(0x80, {'x'})});
    image.record(22, 2, kFile,
                 {file_name(reference(5, 5), u"LONGNA~1.TXT", 2, t),
                  file_name(reference(5, 5), u"long name.txt", 1, t)});
    image.record(23, 2, kFile,
                 {file_name(reference(5, 5), u"long 2.txt", 1, t),
                  file_name(reference(5, 5), u"LONG2~1.TXT", 2, t)});
    image.record(24, 2, kFile, {file_name(reference(5, 5), u"DOSONLY.TXT", 2, t)});
    image.record(25, 2, kLiveFile, {file_name(reference(5, 5), u"alive.txt", 1, t)});
    return image;
}

TEST_F(NtfsScan, ListsDeletedFilesWithTheirFolders) {
    const auto lines = scan(tree_image());
    const std::vector<std::string> expected = {
        "report.doc|C:\\Docs\\|700|7/4/2009 14:5:9|0|100%",
        "inner.txt|C:\\Docs\\Old\\|1|7/4/2009 14:5:9|1|100%",
        "long name.txt|C:\\|0|7/4/2009 14:5:9|2|100%",
        "long 2.txt|C:\\|0|7/4/2009 14:5:9|3|100%",
    };
    EXPECT_EQ(lines, expected);
    const NtfsEntry& resident = context_->ntfs().entries[0];
    EXPECT_EQ(resident.kind, DataKind::resident);
    EXPECT_EQ(resident.resident, pattern(700, 1));
    EXPECT_EQ(resident.record, 20u);
    EXPECT_EQ(resident.parent, 16u);
}

TEST_F(NtfsScan, BrokenFolderChainsGiveOrphans) {
    NtfsImage image;
    image.record(16, 9, kLiveFile, {file_name(reference(5, 5), u"was a folder")});
    image.record(17, 7, kLiveFolder, {file_name(reference(5, 5), u"Reused")});  // freed and reused
    image.record(18, 3, kLiveFolder, {file_name(reference(19, 3), u"A")});
    image.record(19, 3, kLiveFolder, {file_name(reference(18, 3), u"B")});
    image.record(20, 2, kFolder, {file_name(reference(5, 5), u"Gone")});
    image.record(30, 2, kFile, {file_name(reference(16, 8), u"parent is a file.txt")});
    image.record(31, 2, kFile, {file_name(reference(17, 5), u"old parent.txt")});
    image.record(32, 2, kFile, {file_name(reference(18, 3), u"cycle.txt")});
    image.record(33, 2, kFile, {file_name(reference(40, 1), u"no parent.txt")});
    image.record(34, 2, kFile, {file_name(reference(20, 1), u"deleted parent.txt")});
    image.record(35, 2, kFile, {file_name(reference(20, 0), u"too old.txt")});
    const auto lines = scan(image);
    ASSERT_EQ(lines.size(), 6u);
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u}) {
        EXPECT_NE(lines[i].find("|NULL|"), std::string::npos) << lines[i];
        EXPECT_TRUE(context_->ntfs().entries[i].path.empty());
    }
    EXPECT_EQ(lines[4], "deleted parent.txt|C:\\Gone\\|0|1/1/1601 0:0:0|4|100%");
}

TEST_F(NtfsScan, SkipsRecordsTheScanCannotRecover) {
    NtfsImage image;
    image.record(20, 2, kFile,
                 {standard_information(0x800), file_name(reference(5, 5), u"compressed")});
    image.record(21, 2, kFile,
                 {standard_information(0x200), file_name(reference(5, 5), u"sparse")});
    image.record(22, 2, kFile,
                 {resident_attribute(0x20, ByteVector(32)), file_name(reference(5, 5), u"listed")});
    image.record(23, 2, kFile, {file_name(reference(5, 5), u"extension")}, reference(22, 2));
    image.record(24, 2, kFile, {standard_information(0x20), file_name(reference(5, 5), u"kept")});
    const auto lines = scan(image);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("kept|"));
}

TEST_F(NtfsScan, CheckWord0x8001IsAccepted) {
    NtfsImage image = tree_image();
    image.check_word = 0x8001;
    EXPECT_EQ(scan(image).size(), 4u);
}

// A fragmented file of 10,000 bytes: clusters 40, 50 and 51, of which 50 is in use again.
NtfsImage fragmented_image(const ByteVector& content) {
    NtfsImage image;
    image.data(40, ByteVector(content.begin(), content.begin() + 4096));
    image.data(50, ByteVector(content.begin() + 4096, content.end()));
    image.use(50, 1);
    image.record(
        20, 2, kFile,
        {file_name(reference(5, 5), u"frag.bin"),
         nonresident_attribute(0x80, encode_runs({{40, 1}, {60, 0}, {50, 2}}), content.size())});
    return image;
}

TEST_F(NtfsScan, FragmentedFileRecoversAndRates) {
    const ByteVector content = pattern(10000, 3);
    const auto lines = scan(fragmented_image(content));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "frag.bin|C:\\|10000|1/1/1601 0:0:0|0|67%");
    EXPECT_EQ(QueryFileCoverageRate(context_.get(), 0), 33);

    ASSERT_EQ(RecoverFile(context_.get(), 0, target("0_frag.bin").c_str(), nullptr), 1);
    EXPECT_EQ(read_all(target("0_frag.bin")), content);

    std::uint64_t bytes = 7;
    void* whole = GetFileClusters(context_.get(), 0, 1, 1, &bytes);
    ASSERT_TRUE(whole);
    EXPECT_EQ(bytes, 3u * 4096);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), static_cast<std::uint8_t*>(whole)));
    ReleaseFileBuffer(whole);
    void* first = GetFileClusters(context_.get(), 0, 1, 0, &bytes);
    ASSERT_TRUE(first);
    EXPECT_EQ(bytes, 4096u);
    ReleaseFileBuffer(first);
}

TEST_F(NtfsScan, UnreadableClusterKeepsLaterBytesInPlace) {
    ByteVector content = pattern(10000, 5);
    const auto lines = scan(fragmented_image(content));
    devices_[0]->fail_reads(50 * 4096, 4096);
    ASSERT_EQ(RecoverFile(context_.get(), 0, target("0_frag.bin").c_str(), nullptr), 1);
    std::fill(content.begin() + 4096, content.begin() + 8192, 0);
    EXPECT_EQ(read_all(target("0_frag.bin")), content);
}

TEST_F(NtfsScan, ClusterCallbackStopsTheCopy) {
    scan(fragmented_image(pattern(10000, 5)));
    static int calls = 0;
    calls = 0;
    const auto stop_at_second = [](std::int32_t) -> std::int32_t { return ++calls < 2; };
    ASSERT_EQ(RecoverFile(context_.get(), 0, target("0_frag.bin").c_str(), stop_at_second), 1);
    EXPECT_EQ(read_all(target("0_frag.bin")).size(), 8192u);
    EXPECT_EQ(RecoverFile(context_.get(), 0, target("0_frag.bin").c_str(), nullptr), 0);
}

TEST_F(NtfsScan, ScanCallbackStopsTheScan) {
    context_ = open(tree_image());
    LineSink::reset(1);
    EXPECT_EQ(ScanVolume(context_.get(), LineSink::take), 1);
    EXPECT_EQ(LineSink::lines.size(), 1u);
    EXPECT_TRUE(context_->ntfs().entries[1].path.empty());
}

TEST_F(NtfsScan, NamesOutsideTheCodePageGetTheReplacementCharacter) {
    NtfsImage image;
    image.record(20, 2, kFile, {file_name(reference(5, 5), u"\u65e5\u672c.txt")});
    tobrin::platform::set_ansi_code_page(tobrin::platform::AnsiCodePage::windows1252);
    const auto lines = scan(image);
    tobrin::platform::set_ansi_code_page(tobrin::platform::AnsiCodePage::utf8);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("??.txt|C:\\|")) << lines[0];
}

TEST_F(NtfsScan, HugeSizesArePrintedInFull) {
    NtfsImage image;
    image.record(20, 2, kFile,
                 {file_name(reference(5, 5), u"big.vhd"),
                  nonresident_attribute(0x80, encode_runs({{40, 2}}), 5'000'000'000ull)});
    const auto lines = scan(image);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("big.vhd|C:\\|5000000000|")) << lines[0];
}

// Each corruption spoils one record; the scan ends and still lists the sound file.
TEST_F(NtfsScan, CorruptRecordsEndCleanly) {
    struct Case {
        const char* what;
        void (*spoil)(NtfsImage&);
    };
    const Case cases[] = {
        {"attribute of length 0",
         [](NtfsImage& i) {
             ByteVector a = file_name(reference(5, 5), u"bad");
             put32(a, 4, 0);
             i.record(30, 2, kFile, {a});
         }},
        {"attribute past the record",
         [](NtfsImage& i) {
             ByteVector a = file_name(reference(5, 5), u"bad");
             put32(a, 4, 0x7FFFFFF0);
             i.record(30, 2, kFile, {a});
         }},
        {"name longer than its value",
         [](NtfsImage& i) {
             ByteVector a = file_name(reference(5, 5), u"bad");
             a[24 + 64] = 200;
             i.record(30, 2, kFile, {a});
         }},
        {"torn record",
         [](NtfsImage& i) {
             ByteVector r(1024);
             std::memcpy(r.data(), "FILE", 4);
             put16(r, 4, 48);
             put16(r, 6, 3);
             put16(r, 48, 1);
             i.raw_record(30, r);
             i.raw_record(31, ByteVector(1024, 0xFF));
         }},
        {"run list beyond the volume",
         [](NtfsImage& i) {
             i.record(
                 30, 2, kFile,
                 {file_name(reference(5, 5), u"far"),
                  nonresident_attribute(0x80, encode_runs({{1ll << 40, 1ll << 40}}), 1ull << 62)});
         }},
    };
    for (const Case& c : cases) {
        NtfsImage image;
        image.record(20, 2, kFile, {file_name(reference(5, 5), u"sound.txt")});
        c.spoil(image);
        LineSink::reset();
        const auto lines = scan(image);
        ASSERT_GE(lines.size(), 1u) << c.what;
        EXPECT_TRUE(lines[0].starts_with("sound.txt|")) << c.what;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            ASSERT_EQ(RecoverFile(context_.get(), static_cast<std::uint32_t>(i),
                                  target(std::to_string(i) + c.what).c_str(), nullptr),
                      1)
                << c.what;
            EXPECT_EQ(std::filesystem::file_size(target(std::to_string(i) + c.what)), 0u) << c.what;
        }
    }
}

TEST_F(NtfsScan, FileWithoutClustersRatesZero) {
    NtfsImage image;
    image.record(20, 2, kFile,
                 {file_name(reference(5, 5), u"hollow.bin"),
                  nonresident_attribute(0x80, encode_runs({{40, 0}}), 100)});
    const auto lines = scan(image);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(QueryFileCoverageRate(context_.get(), 0), 0);
    EXPECT_TRUE(lines[0].ends_with("|0|100%")) << lines[0];
}

TEST_F(NtfsScan, TruncatedVolumeEndsCleanly) {
    for (const std::size_t cut : {5u * 4096, 4u * 4096 + 21 * 1024 + 100, 30u * 4096}) {
        ByteVector bytes = tree_image().bytes();
        bytes.resize(cut);
        devices_ = mount({bytes});
        context_.reset(InitVolumeInfo("C:"));
        if (!context_) continue;
        LineSink::reset();
        ScanVolume(context_.get(), LineSink::take);
        for (std::uint32_t i = 0; i < LineSink::lines.size(); ++i) {
            EXPECT_EQ(
                RecoverFile(context_.get(), i,
                            target(std::to_string(cut) + "_" + std::to_string(i)).c_str(), nullptr),
                1);
        }
    }
}

TEST_F(NtfsScan, UnreadableMftRunListFailsTheScan) {
    NtfsImage image;
    image.record(0, 1, 1, {nonresident_attribute(0x80, {0x11, 0x04, 0x00, 0x00}, 65536)});
    context_ = open(image);
    EXPECT_EQ(ScanVolume(context_.get(), LineSink::take), 0);
    EXPECT_EQ(context_->entry_count(), 0u);
}

TEST_F(NtfsScan, UnreadableRecordIsSkippedAlone) {
    NtfsImage image = tree_image();
    devices_ = mount({image.bytes()});
    devices_[0]->fail_reads(NtfsImage::kMftCluster * 4096 + 20 * 1024, 1024);
    context_.reset(InitVolumeInfo("C:"));
    ASSERT_TRUE(context_);
    ASSERT_EQ(ScanVolume(context_.get(), LineSink::take), 1);
    ASSERT_EQ(LineSink::lines.size(), 3u);
    EXPECT_TRUE(LineSink::lines[0].starts_with("inner.txt|C:\\Docs\\Old\\|"));
}

}  // namespace
}  // namespace volscan
