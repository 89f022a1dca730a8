// The raw engine's partition list text, read into rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tobrin::cli {

struct PartitionRow {
    std::uint32_t disk = 0;
    std::string root;  // "C:\" or "NIL"
    std::uint64_t length = 0;
    std::uint32_t index = 0;
    std::uint32_t type = 0;
};

struct PartitionList {
    std::uint32_t disk_count = 0;
    std::vector<PartitionRow> rows;
};

// The disk count, then five fields per partition; null when the text has
// another shape.
std::optional<PartitionList> ParsePartitionList(std::string_view text);

// "NTFS", "FAT32", "FAT16" or "unknown" for a partition type code.
std::string_view FileSystemName(std::uint32_t type);

}  // namespace tobrin::cli
