// Copying a found file's data: to a new file, or into a heap buffer for the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "context.h"
#include "outcome.h"
#include "tobrin/platform/files.h"
#include "volscan.h"

namespace volscan {

enum class CopyEnd { done, stopped };  // stopped: the cluster callback asked to stop

Expected<CopyEnd> recover_file(VolscanContext& context, std::size_t index,
                               const std::string& target, VolscanClusterCallback callback);

struct HeapFree {
    void operator()(std::uint8_t* block) const { tobrin::platform::heap_free(block); }
};
using HeapBlock = std::unique_ptr<std::uint8_t, HeapFree>;

struct ClusterData {
    HeapBlock block;
    std::uint64_t bytes = 0;
};

// `max_clusters` limits the read unless `whole_file` is set.
Expected<ClusterData> read_clusters(VolscanContext& context, std::size_t index,
                                    std::int32_t max_clusters, bool whole_file);

}  // namespace volscan
