// One pass of the raw engine over a fuzz input: partition enumeration, layout rebuild,
// scan, and extraction of every reported file into memory and into a scratch folder.
#pragma once

#include <cstdint>

#include "fuzz_disk.h"

namespace tobrin::fuzz {

void run_raw_session(Input partition, std::uint8_t partition_type);

// Enumeration only: the partition list of the plain and the Ex family.
void run_partition_listing(Input disk);

}  // namespace tobrin::fuzz
