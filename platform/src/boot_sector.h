// Recognising a volume's boot sector, as the system does before it mounts one.
#pragma once

#include <cstdint>

#include "tobrin/platform/bytes.h"

namespace tobrin::platform {

enum class FileSystem { none, ntfs, fat12, fat16, fat32 };

FileSystem classify_boot_sector(Bytes sector);

// The MBR type byte the system reports for a volume of that file system.
std::uint8_t partition_type_of(FileSystem fs);

}  // namespace tobrin::platform
