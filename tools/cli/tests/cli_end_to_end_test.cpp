// Every command of tobrin-cli on the real-image fixtures: the recovered bytes
// must match the manifests, and no file name may lead out of the target.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli_process.h"
#include "tobrin/testing/fixtures.h"
#include "tobrin/testing/sha256.h"

namespace tobrin::cli::test {
namespace {

namespace fs = std::filesystem;
using tobrin::testing::ManifestRow;
using Manifest = std::vector<ManifestRow>;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::ranges::equal(a, b, [&](char x, char y) { return fold(x) == fold(y); });
}

std::string FixturePath(const std::string& image) {
    return tobrin::testing::fixture_path(image).string();
}

Manifest ReadManifest(const std::string& image) {
    return tobrin::testing::read_manifest(image);
}

std::string Sha256Hex(std::string_view bytes) {
    return tobrin::testing::sha256_hex(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// Empty when nothing was recovered there.
std::string Sha256OfFile(const std::string& path) {
    if (!fs::is_regular_file(path)) return "";
    return tobrin::testing::sha256_hex(tobrin::testing::read_file_bytes(path));
}

struct VolumeImage {
    const char* image;
    bool fat;
};

constexpr VolumeImage kVolumeImages[] = {
    {"ntfs.img", false}, {"fat32.img", true}, {"fat16.img", true}};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (auto end = line.find('|');; end = line.find('|', start)) {
        const std::string field = line.substr(start, end - start);
        if (!field.empty()) fields.push_back(field);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return fields;
}

// One found file as the CLI printed it.
struct Found {
    std::string name, folder, index;
    std::int64_t size = 0;
    bool deleted = true;
    // "Docs/Old/report.doc" when the folder starts at the drive; empty for orphans.
    std::string ManifestPath() const {
        if (folder.size() < 3 || folder[1] != ':') return "";
        std::string path = folder.substr(3);
        std::replace(path.begin(), path.end(), '\\', '/');
        return path + name;
    }
};

std::vector<Found> ParseFound(const std::string& out, bool raw) {
    std::vector<Found> found;
    for (const std::string& line : Lines(out)) {
        const auto fields = Fields(line);
        EXPECT_EQ(fields.size(), 6u) << line;
        if (fields.size() != 6) continue;
        found.push_back(Found{fields[0], fields[1], fields[4], std::stoll(fields[2]),
                              raw ? fields[5] == "1" : true});
    }
    return found;
}

std::vector<std::string> Disk(const std::string& image) {
    return {"--disk", FixturePath(image)};
}

std::vector<std::string> Args(std::vector<std::string> disk, std::vector<std::string> rest) {
    disk.insert(disk.end(), rest.begin(), rest.end());
    return disk;
}

// Whether the recovered bytes of `found` can be expected to equal what was written.
bool ExpectIntact(const ManifestRow& row, bool fat) {
    for (const char* tag :
         {"clusters-reused", "overwritten", "record-reused", "compressed", "sparse"}) {
        if (row.has(tag)) return false;
    }
    // The volume engine reads a deleted FAT file as one stretch from its first cluster.
    return !(fat && row.has("fragmented"));
}

// FAT names compare without regard to case; a deleted short name has lost its
// first byte, which the engine shows as "_".
bool SamePath(const std::string& manifest_path, const std::string& found_path, bool fat) {
    if (!fat) return manifest_path == found_path;
    if (EqualsNoCase(manifest_path, found_path)) return true;
    const auto name = found_path.rfind('/') + 1;
    return found_path.size() == manifest_path.size() && found_path[name] == '_' &&
           EqualsNoCase(manifest_path.substr(0, name), found_path.substr(0, name)) &&
           EqualsNoCase(manifest_path.substr(name + 1), found_path.substr(name + 1));
}

const ManifestRow* RowOf(const Manifest& manifest, const Found& found, bool fat) {
    const std::string path = found.ManifestPath();
    for (const ManifestRow& row : manifest) {
        if (row.deleted == found.deleted && SamePath(row.path, path, fat)) return &row;
    }
    return nullptr;
}

std::string TargetOf(const std::string& dir, const Found& found, bool tree) {
    std::string folder = dir;
    if (tree) {
        const std::string path = found.ManifestPath();
        const auto slash = path.rfind('/');
        if (slash != std::string::npos) folder += "/" + path.substr(0, slash);
    }
    return folder + "/" + found.index + "_" + found.name;
}

// Recovers every found file and counts those whose bytes match the manifest.
void ExpectRecoveredBytesMatch(const std::vector<std::string>& disk, const std::string& scan,
                               const std::string& recover, const std::string& source,
                               const VolumeImage& volume, bool tree) {
    const Manifest manifest = ReadManifest(volume.image);
    const bool raw = scan == "raw-scan";
    const CliRun listed = RunCli(Args(disk, {scan, source}));
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::string dir = MakeTempDir(std::string(volume.image) + (tree ? "-tree" : "-flat"));
    std::vector<std::string> options = {recover, source, "--to", dir, "--all"};
    if (tree) options.push_back("--tree");
    const CliRun recovered = RunCli(Args(disk, options));
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    int checked = 0;
    for (const Found& found : ParseFound(listed.out, raw)) {
        if (found.ManifestPath().empty()) continue;
        const ManifestRow* row = RowOf(manifest, found, volume.fat);
        if (!row || !ExpectIntact(*row, volume.fat)) continue;
        const std::string target = TargetOf(dir, found, tree);
        EXPECT_EQ(Sha256OfFile(target), row->sha256) << target;
        ++checked;
    }
    EXPECT_GT(checked, 0) << volume.image;
}

TEST(CliEndToEnd, VolumesOfTheMbrDiskInLetterOrder) {
    const CliRun run = RunCli(Args(Disk("disk.img"), {"volumes"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    const std::vector<std::string> expected = {
        "C:", "NTFS", "D:", "FAT32", "E:", "FAT16", "F:", "NTFS", "G:", "FAT32"};
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(0, 3), expected[2 * (i - 1)] + "\t") << lines[i];
        EXPECT_NE(lines[i].find("\t" + expected[2 * i - 1] + "\t"), std::string::npos) << lines[i];
    }
}

TEST(CliEndToEnd, PartitionsListTheTextThenOneRowEach) {
    const CliRun run = RunCli(Args(Disk("disk.img"), {"partitions"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 2), "1|");
    const std::size_t partitions = (Fields(lines[0]).size() - 1) / 5;
    EXPECT_EQ(lines.size(), 1 + partitions);
    EXPECT_EQ(lines[1].rfind("partition 0\tdisk 0\tC:\\\t", 0), 0u) << lines[1];
}

TEST(CliEndToEnd, ScanReportsOnlyDeletedFilesOfTheManifest) {
    for (const VolumeImage& volume : kVolumeImages) {
        const Manifest manifest = ReadManifest(volume.image);
        const CliRun run = RunCli(Args(Disk(volume.image), {"scan", "C:"}));
        ASSERT_EQ(run.status, 0) << volume.image << ": " << run.err;
        const auto found = ParseFound(run.out, false);
        EXPECT_FALSE(found.empty()) << volume.image;
        for (const Found& file : found) {
            if (file.ManifestPath().empty()) continue;
            EXPECT_TRUE(RowOf(manifest, file, volume.fat)) << volume.image << ": " << file.name;
        }
        EXPECT_NE(run.err.find(std::to_string(found.size()) + " files found"), std::string::npos)
            << run.err;
    }
}

TEST(CliEndToEnd, JsonGivesOneObjectPerFoundFile) {
    for (const std::string scan : {"scan", "raw-scan"}) {
        const std::string source = scan == "scan" ? "C:" : "0";
        const CliRun lines = RunCli(Args(Disk("ntfs.img"), {scan, source}));
        const CliRun json = RunCli(Args(Disk("ntfs.img"), {scan, source, "--json"}));
        ASSERT_EQ(json.status, 0) << json.err;
        const auto found = ParseFound(lines.out, scan == "raw-scan");
        const auto objects = Lines(json.out);
        ASSERT_EQ(objects.size(), found.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(objects[i].rfind("{\"name\":", 0), 0u) << objects[i];
            EXPECT_NE(objects[i].find(",\"index\":" + found[i].index + ","), std::string::npos)
                << objects[i];
            EXPECT_EQ(objects[i].back(), '}');
        }
    }
}

TEST(CliEndToEnd, RecoverGivesTheManifestBytesFlatAndAsTree) {
    for (const VolumeImage& volume : kVolumeImages) {
        ExpectRecoveredBytesMatch(Disk(volume.image), "scan", "recover", "C:", volume, false);
        ExpectRecoveredBytesMatch(Disk(volume.image), "scan", "recover", "C:", volume, true);
    }
}

TEST(CliEndToEnd, RawRecoverGivesTheManifestBytes) {
    for (const VolumeImage& volume : {kVolumeImages[0], kVolumeImages[1]}) {
        ExpectRecoveredBytesMatch(Disk(volume.image), "raw-scan", "raw-recover", "0", volume, true);
    }
}

TEST(CliEndToEnd, CatWritesOneFileCutToItsSize) {
    const VolumeImage& volume = kVolumeImages[0];
    const Manifest manifest = ReadManifest(volume.image);
    for (const std::string scan : {"scan", "raw-scan"}) {
        const std::string source = scan == "scan" ? "C:" : "0";
        const CliRun listed = RunCli(Args(Disk(volume.image), {scan, source}));
        const auto found = ParseFound(listed.out, scan == "raw-scan");
        const auto intact = std::find_if(found.begin(), found.end(), [&](const Found& file) {
            const ManifestRow* row = RowOf(manifest, file, false);
            return row && row->deleted && ExpectIntact(*row, false) && file.size > 0;
        });
        ASSERT_NE(intact, found.end()) << scan;
        const CliRun cat = RunCli(Args(Disk(volume.image), {"cat", source, intact->index}));
        ASSERT_EQ(cat.status, 0) << cat.err;
        EXPECT_EQ(Sha256Hex(cat.out), RowOf(manifest, *intact, false)->sha256) << intact->name;
    }
}

TEST(CliEndToEnd, NameSelectionUsesTheSearchModes) {
    const CliRun listed = RunCli(Args(Disk("fat32.img"), {"scan", "C:"}));
    const auto found = ParseFound(listed.out, false);
    ASSERT_FALSE(found.empty());
    const std::string name = found.front().name;
    std::string shouted = name;
    for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto same_name = std::count_if(found.begin(), found.end(), [&](const Found& file) {
        return EqualsNoCase(file.name, name);
    });
    const std::string dir = MakeTempDir("by-name");
    const CliRun run = RunCli(Args(Disk("fat32.img"), {"recover", "C:", "--to", dir, "--name",
                                                       " " + shouted + " ", "--whole-name"}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), same_name);
}

TEST(CliEndToEnd, AnExistingTargetIsSkippedAndKept) {
    const CliRun listed = RunCli(Args(Disk("ntfs.img"), {"scan", "C:"}));
    const auto found = ParseFound(listed.out, false);
    ASSERT_FALSE(found.empty());
    const std::string dir = MakeTempDir("existing");
    const std::string target = TargetOf(dir, found.front(), false);
    std::ofstream(target) << "keep";
    const CliRun run = RunCli(
        Args(Disk("ntfs.img"), {"recover", "C:", "--to", dir, "--index", found.front().index}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "skipped\t" + target + "\n");
    EXPECT_NE(run.err.find("1 skipped"), std::string::npos) << run.err;
    std::ifstream kept(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
}

TEST(CliEndToEnd, ErrorsNameWhatFailed) {
    const std::string dir = MakeTempDir("errors");
    struct Case {
        std::vector<std::string> arguments;
        std::string message_part;
    };
    const std::vector<Case> cases = {
        {{"recover", "C:", "--to", dir, "--index", "999999"}, "no found file has the index 999999"},
        {{"cat", "C:", "999999"}, "no found file has the index 999999"},
        {{"scan", "H:"}, "H: is not a volume"},
        {{"raw-scan", "99"}, "partition 99 does not exist"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(Args(Disk("disk.img"), c.arguments));
        EXPECT_EQ(run.status, 1) << c.message_part;
        EXPECT_NE(run.err.find(c.message_part), std::string::npos) << run.err;
    }
    // The type-0x87 partition gets no letter, so the raw engine cannot prepare it.
    const CliRun partitions = RunCli(Args(Disk("disk.img"), {"partitions"}));
    const auto rows = Lines(partitions.out);
    const auto unlettered = std::find_if(rows.begin() + 1, rows.end(), [](const std::string& row) {
        return row.find("\tNIL\t") != std::string::npos;
    });
    ASSERT_NE(unlettered, rows.end()) << partitions.out;
    const std::string number = unlettered->substr(10, unlettered->find('\t') - 10);
    const CliRun run = RunCli(Args(Disk("disk.img"), {"raw-scan", number}));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("partition " + number + " cannot be prepared"), std::string::npos)
        << run.err;
}

// Rewrites the first five characters of a deleted file's long name on a copy
// of fat32.img into "../..", so that the name holds both ".." and "/".
std::string ImageWithClimbingName(std::string& patched_name) {
    const Manifest manifest = ReadManifest("fat32.img");
    const auto bytes = tobrin::testing::read_file_bytes(FixturePath("fat32.img"));
    std::string image(bytes.begin(), bytes.end());
    for (const ManifestRow& row : manifest) {
        const std::string name = row.path.substr(row.path.rfind('/') + 1);
        if (!row.deleted || !row.tags.empty() || row.size == 0 || name.size() < 8) continue;
        std::string utf16;
        for (char c : name.substr(0, 5)) utf16 += std::string{c, '\0'};
        for (auto pos = image.find(utf16); pos != std::string::npos;
             pos = image.find(utf16, pos + 1)) {
            const std::size_t entry = pos - 1;
            if (entry % 32 != 0 || static_cast<unsigned char>(image[entry + 11]) != 0x0F) continue;
            for (std::size_t i = 0; i < 5; ++i) {
                image[pos + 2 * i] = "../.."[i];
                image[pos + 2 * i + 1] = '\0';
            }
            patched_name = "../.." + name.substr(5);
            const std::string copy = MakeTempDir("climbing") + "/fat32-climbing.img";
            std::ofstream(copy, std::ios::binary) << image;
            return copy;
        }
    }
    return "";
}

std::vector<fs::path> FilesUnder(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_directory()) files.push_back(entry.path());
    }
    return files;
}

TEST(CliEndToEnd, ANameThatClimbsStaysInsideTheTarget) {
    std::string name;
    const std::string image = ImageWithClimbingName(name);
    ASSERT_FALSE(image.empty()) << "no deleted long name to patch in fat32.img";
    for (const auto& [scan, recover, source] :
         {std::tuple{"scan", "recover", "C:"}, std::tuple{"raw-scan", "raw-recover", "0"}}) {
        const CliRun listed = RunCli({"--disk", image, scan, source});
        const auto found = ParseFound(listed.out, std::string(scan) == "raw-scan");
        const auto climbing = std::find_if(found.begin(), found.end(),
                                           [&](const Found& file) { return file.name == name; });
        ASSERT_NE(climbing, found.end()) << scan << " shows no file named " << name;
        for (const bool tree : {false, true}) {
            const fs::path outer = MakeTempDir(std::string(scan) + (tree ? "-tree" : "-flat"));
            const fs::path dir = outer / "a" / "b";
            fs::create_directories(dir);
            std::vector<std::string> arguments = {
                "--disk", image, recover, source, "--to", dir.string(), "--index", climbing->index};
            if (tree) arguments.push_back("--tree");
            const CliRun run = RunCli(arguments);
            EXPECT_EQ(run.status, 0) << run.err;
            const auto files = FilesUnder(outer);
            ASSERT_EQ(files.size(), 1u) << scan;
            const std::string relative = fs::relative(files.front(), dir).string();
            EXPECT_EQ(relative.rfind("..", 0), std::string::npos) << relative;
            EXPECT_EQ(files.front().filename().string(),
                      climbing->index + "_.._.." + name.substr(5));
        }
    }
}

std::uint64_t LoadLe(const std::string& bytes, std::size_t offset, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
    }
    return value;
}

constexpr std::size_t kRecordSize = 1024;
constexpr std::size_t kSectorSize = 512;

// A copy of an MFT record with its update-sequence fixups applied.
std::string FixedRecord(const std::string& image, std::size_t start) {
    std::string record = image.substr(start, kRecordSize);
    const auto usa = LoadLe(record, 4, 2);
    for (std::size_t sector = 1; sector <= kRecordSize / kSectorSize; ++sector) {
        record[sector * kSectorSize - 2] = record.at(usa + 2 * sector);
        record[sector * kSectorSize - 1] = record.at(usa + 2 * sector + 1);
    }
    return record;
}

// Offset in the record of the data size of its unnamed non-resident $DATA, or 0.
std::size_t DataSizeOffset(const std::string& record) {
    for (std::size_t at = LoadLe(record, 20, 2); at + 56 <= record.size();) {
        const auto type = LoadLe(record, at, 4), length = LoadLe(record, at + 4, 4);
        if (type == 0xFFFFFFFF || length == 0) break;
        if (type == 0x80 && record[at + 8] == 1 && record[at + 9] == 0) return at + 48;
        at += length;
    }
    return 0;
}

bool TouchesFixup(std::size_t offset, std::size_t length) {
    return offset / kSectorSize != (offset + length + 1) / kSectorSize;
}

// Quadruples the data size of a deleted file's record in a copy of ntfs.img,
// so that its run list ends long before its size: the engine then copies what
// the runs hold and reports success.
std::string ImageWithOverlongFile(std::string& name) {
    const auto bytes = tobrin::testing::read_file_bytes(FixturePath("ntfs.img"));
    std::string image(bytes.begin(), bytes.end());
    for (const ManifestRow& row : ReadManifest("ntfs.img")) {
        if (!row.deleted || !row.tags.empty() || row.size < 4096) continue;
        std::string utf16;
        for (char c : row.name()) utf16 += std::string{c, '\0'};
        for (auto pos = image.find(utf16); pos != std::string::npos;
             pos = image.find(utf16, pos + 1)) {
            const std::size_t start = pos - pos % kRecordSize;
            if (image.compare(start, 4, "FILE") != 0 || (LoadLe(image, start + 22, 2) & 1))
                continue;
            const std::size_t size_at = DataSizeOffset(FixedRecord(image, start));
            if (size_at == 0 || TouchesFixup(size_at, 8)) continue;
            const std::uint64_t longer = 4 * row.size;
            for (int i = 0; i < 8; ++i)
                image[start + size_at + i] = static_cast<char>(longer >> (8 * i));
            name = row.name();
            const std::string copy = MakeTempDir("overlong") + "/ntfs-overlong.img";
            std::ofstream(copy, std::ios::binary) << image;
            return copy;
        }
    }
    return "";
}

TEST(CliEndToEnd, ACopyThatCameOutShortIsAFailure) {
    std::string name;
    const std::string image = ImageWithOverlongFile(name);
    ASSERT_FALSE(image.empty()) << "no deleted file record to patch in ntfs.img";
    const CliRun listed = RunCli({"--disk", image, "scan", "C:"});
    const auto found = ParseFound(listed.out, false);
    const auto overlong = std::find_if(found.begin(), found.end(),
                                       [&](const Found& file) { return file.name == name; });
    ASSERT_NE(overlong, found.end()) << listed.out;
    const std::string dir = MakeTempDir("short");
    const CliRun run =
        RunCli({"--disk", image, "recover", "C:", "--to", dir, "--index", overlong->index});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "failed\t" + TargetOf(dir, *overlong, false) + "\n");
    EXPECT_NE(run.err.find("could not recover file " + overlong->index), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("bytes could be read"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 failed"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tobrin::cli::test
