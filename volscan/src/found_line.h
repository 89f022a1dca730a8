// The found-file line: name|folder|size|time|index|integrality%.
#pragma once

#include <cstdint>
#include <string>

#include "context.h"

namespace volscan {

// The line of NTFS entry `index`; an entry without a folder path gets the folder "NULL".
std::string ntfs_line(VolscanContext& context, std::size_t index);

// The line of FAT entry `index`, built from `entry` (the scanner's copy), whose path
// still ends in the file name.
std::string fat_line(VolscanContext& context, const FatEntry& entry, std::size_t index);

// "100 minus the rate" and "%"; "?%" when the rate cannot be determined, so that an
// unreadable bitmap is not shown as a figure.
std::string integrality_text(std::int32_t rate);

}  // namespace volscan
