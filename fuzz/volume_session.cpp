#include "volume_session.h"

#include <cstdio>
#include <string>
#include <vector>

#include "volscan.h"

namespace tobrin::fuzz {
namespace {

std::vector<std::uint32_t> g_indexes;  // filled by the line callback of the running scan

int32_t TOBRIN_CALL take_line(const char* line) {
    if (verbose()) std::fprintf(stderr, "line: %s\n", line);
    if (const auto index = file_index_of(line)) g_indexes.push_back(*index);
    return 1;
}

int32_t TOBRIN_CALL keep_copying(int32_t) {
    return 1;
}

void read_into_memory(VolscanContext* context, std::uint32_t index, int32_t max_clusters,
                      int32_t whole_file) {
    uint64_t bytes = 0;
    if (void* buffer = GetFileClusters(context, index, max_clusters, whole_file, &bytes)) {
        touch(buffer, bytes);
        ReleaseFileBuffer(buffer);
    }
}

}  // namespace

void run_volume_session(Input volume, std::uint8_t partition_type) {
    present_volume(volume, partition_type);
    VolscanContext* context = InitVolumeInfo("C:");
    if (!context) return;
    g_indexes.clear();
    ScanVolume(context, take_line);
    ScratchFolder folder;
    // One past the listed files checks the index bound as well.
    g_indexes.push_back(static_cast<std::uint32_t>(g_indexes.size()));
    for (const std::uint32_t index : g_indexes) {
        read_into_memory(context, index, 1, 0);
        read_into_memory(context, index, 0, 1);
        QueryFileCoverageRate(context, index);
        const std::string target = folder.target(index);
        RecoverFile(context, index, target.c_str(), keep_copying);
        expect_kept(target, [&] { return RecoverFile(context, index, target.c_str(), nullptr); });
    }
    ReleaseVolumeInfo(context);
}

}  // namespace tobrin::fuzz
