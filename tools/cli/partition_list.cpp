#include "partition_list.h"

#include <charconv>
#include <span>

#include "shared_functions.h"

namespace tobrin::cli {
namespace {

constexpr std::size_t kFieldsPerPartition = 5;

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

std::optional<PartitionRow> ParseRow(std::span<const std::string_view> fields) {
    PartitionRow row;
    row.root = fields[1];
    const bool numbers_read = ParseNumber(fields[0], row.disk) &&
                              ParseNumber(fields[2], row.length) &&
                              ParseNumber(fields[3], row.index) && ParseNumber(fields[4], row.type);
    if (!numbers_read) return std::nullopt;
    return row;
}

}  // namespace

std::optional<PartitionList> ParsePartitionList(std::string_view text) {
    std::vector<std::string_view> fields;
    const std::size_t count = shell::SplitAt('|', text, fields);
    PartitionList list;
    if (count == 0 || (count - 1) % kFieldsPerPartition != 0) return std::nullopt;
    if (!ParseNumber(fields[0], list.disk_count)) return std::nullopt;
    for (std::size_t first = 1; first < count; first += kFieldsPerPartition) {
        const auto row = ParseRow(std::span(fields).subspan(first, kFieldsPerPartition));
        if (!row) return std::nullopt;
        list.rows.push_back(*row);
    }
    return list;
}

std::string_view FileSystemName(std::uint32_t type) {
    const std::string_view name = shell::PartitionTypeName(std::to_string(type));
    return name == "Unknow_Type" ? "unknown" : name;
}

}  // namespace tobrin::cli
