#include "tobrin/testing/fixtures.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tobrin::testing {
namespace {

[[noreturn]] void fail(std::string_view origin, std::string_view what) {
    throw std::runtime_error(std::string(origin) + ": " + std::string(what));
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// Data lines of a tab-separated file whose header must match exactly.
std::vector<std::vector<std::string_view>> table(std::string_view text, std::string_view header,
                                                 std::string_view origin) {
    std::vector<std::string_view> lines = split(text, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (lines.empty() || lines.front() != header) fail(origin, "unexpected header");
    const std::size_t columns = split(header, '\t').size();
    std::vector<std::vector<std::string_view>> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        rows.push_back(split(lines[i], '\t'));
        if (rows.back().size() != columns) {
            fail(origin, "line " + std::to_string(i + 1) + " has " +
                             std::to_string(rows.back().size()) + " fields");
        }
    }
    return rows;
}

std::uint64_t number(std::string_view text, std::string_view origin) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        fail(origin, "not a number: " + std::string(text));
    }
    return value;
}

std::uint32_t number32(std::string_view text, std::string_view origin) {
    const std::uint64_t value = number(text, origin);
    if (value > UINT32_MAX) fail(origin, "out of range: " + std::string(text));
    return static_cast<std::uint32_t>(value);
}

std::string stem(std::string_view name) {
    std::string text(name);
    if (text.ends_with(".img")) text.resize(text.size() - 4);
    return text;
}

std::string read_text(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = read_file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::filesystem::path fixture_path(std::string_view name) {
    const char* folder = std::getenv("TOBRIN_FIXTURES");
    if (folder == nullptr || *folder == '\0') {
        throw std::runtime_error(
            "TOBRIN_FIXTURES is not set: run this test through ctest, which builds the "
            "fixtures first (test fixtures.build)");
    }
    std::filesystem::path path = std::filesystem::path(folder) / std::string(name);
    if (!std::filesystem::exists(path)) {
        throw std::runtime_error("fixture missing: " + path.string() +
                                 " (build it with the target 'fixtures')");
    }
    return path;
}

std::vector<std::uint8_t> read_file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("cannot read " + path.string());
    return bytes;
}

bool ManifestRow::has(std::string_view tag) const {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

std::string ManifestRow::name() const {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ManifestRow::folder() const {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<ManifestRow> parse_manifest(std::string_view text, std::string_view origin) {
    std::vector<ManifestRow> rows;
    for (const auto& f : table(text, "path\tsize\tsha256\tdeleted\ttime\ttags", origin)) {
        ManifestRow row;
        row.path = std::string(f[0]);
        row.size = number(f[1], origin);
        row.sha256 = std::string(f[2]);
        if (f[3] != "0" && f[3] != "1") fail(origin, "deleted must be 0 or 1: " + row.path);
        row.deleted = f[3] == "1";
        row.time = std::string(f[4]);
        if (f[5] != "-") {
            for (const std::string_view tag : split(f[5], ',')) row.tags.emplace_back(tag);
        }
        if (row.path.empty() || row.sha256.size() != 64) fail(origin, "malformed row: " + row.path);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ManifestRow> read_manifest(std::string_view name) {
    const std::filesystem::path path = fixture_path(stem(name) + ".manifest.tsv");
    return parse_manifest(read_text(path), path.string());
}

const LayoutRow& DiskLayout::partition(std::uint32_t ordinal) const {
    for (const LayoutRow& row : rows) {
        if (row.ordinal == ordinal) return row;
    }
    throw std::runtime_error("disk layout has no partition " + std::to_string(ordinal));
}

DiskLayout parse_disk_layout(std::string_view text, std::string_view origin) {
    DiskLayout layout;
    for (const auto& f : table(text, "ordinal\tslot\ttype\tstart\tlength\tsource", origin)) {
        LayoutRow row;
        if (f[0] != "-") row.ordinal = number32(f[0], origin);
        row.slot = number32(f[1], origin);
        row.type = number32(f[2], origin);
        row.start = number(f[3], origin);
        row.length = number(f[4], origin);
        if (f[5] != "-") row.source = std::string(f[5]);
        layout.rows.push_back(std::move(row));
    }
    return layout;
}

DiskLayout read_disk_layout(std::string_view name) {
    const std::filesystem::path path = fixture_path(stem(name) + ".layout.tsv");
    return parse_disk_layout(read_text(path), path.string());
}

}  // namespace tobrin::testing
