// One pass of the volume engine over a fuzz input: detection, scan, and extraction
// of every listed file into memory and into a scratch folder.
#pragma once

#include <cstdint>

#include "fuzz_disk.h"

namespace tobrin::fuzz {

void run_volume_session(Input volume, std::uint8_t partition_type);

}  // namespace tobrin::fuzz
