// NTFS on-disk rules shared by everything that reads MFT records: update-sequence
// fixups and mapping pairs (run lists).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tobrin/platform/bytes.h"

namespace tobrin {

struct NtfsRun {
    std::int64_t first_cluster = 0;  // absolute
    std::int64_t cluster_count = 0;
};

// Decodes the mapping pairs at the start of `pairs` up to the terminating 0 header.
// Fails (nullopt) on a pair that runs past the buffer, a field wider than 8 bytes, a
// negative length, a zero offset (sparse run), or a cluster number that leaves the
// signed 64-bit range or goes below 0.
std::optional<std::vector<NtfsRun>> decode_ntfs_runs(Bytes pairs);

// Checks the update-sequence words at the end of every 512-byte block of a record (the
// block size whatever the sector size) and, only when all match, puts the saved words
// back. False, with the record untouched, for a torn or malformed record.
bool apply_ntfs_fixups(MutableBytes record);

}  // namespace tobrin
