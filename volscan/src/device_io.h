// Reads from the volume handle, with every short or failed read reported as such.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "outcome.h"
#include "tobrin/platform/bytes.h"
#include "tobrin/platform/handle.h"

namespace volscan {

// Fills `out` entirely from `offset`; a short read counts as a failure.
bool read_exact(const tobrin::platform::DeviceHandle& device, std::uint64_t offset,
                tobrin::MutableBytes out);

// A zeroed buffer of `length` bytes read from `offset`.
Expected<std::vector<std::uint8_t>> read_block(const tobrin::platform::DeviceHandle& device,
                                               std::uint64_t offset, std::uint64_t length);

// The boot sector read the kind initialisations use: the disk's sector size when it
// exceeds 512 bytes, else 512.
Expected<std::vector<std::uint8_t>> read_boot_sector(const tobrin::platform::DeviceHandle& device);

}  // namespace volscan
