// The share of a deleted file's clusters that the volume has since allocated again.
#pragma once

#include <cstdint>

#include "context.h"

namespace volscan {

inline constexpr std::int32_t kRateUnknown = -1;

// 0 to 100, or kRateUnknown when the volume bitmap cannot be read. The bitmap is read
// at the first query and kept for the context's lifetime.
std::int32_t coverage_rate(VolscanContext& context, std::size_t index);

}  // namespace volscan
