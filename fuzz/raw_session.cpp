#include "raw_session.h"

#include <cstdio>
#include <string>
#include <vector>

#include "rawscan.h"
#include "tobrin/platform/machine.h"

namespace tobrin::fuzz {
namespace {

std::vector<std::uint32_t> g_indexes;  // filled by the report callback of the running scan

void TOBRIN_CALL ignore_list(const char*) {}

int TOBRIN_CALL take_line(const char* line) {
    if (verbose()) std::fprintf(stderr, "line: %s\n", line);
    if (const auto index = file_index_of(line)) g_indexes.push_back(*index);
    return 1;
}

int TOBRIN_CALL keep_copying(int) {
    return 1;
}

void read_into_memory(void* context, std::uint32_t index, std::uint32_t cluster_count,
                      int whole_file) {
    uint64_t bytes = 0;
    if (void* buffer = GetRawFileCluster(context, 0, index, cluster_count, whole_file, &bytes)) {
        touch(buffer, bytes);
        ReleaseRawFileBuffer(buffer);
    }
}

}  // namespace

void run_raw_session(Input partition, std::uint8_t partition_type) {
    present_volume(partition, partition_type);
    void* context = InitRawRecovery(ignore_list);
    if (!context) return;
    g_indexes.clear();
    if (PrepareRawRecovery(context, 0)) ScanRawPartition(context, 0, take_line);
    ScratchFolder folder;
    // One past the reported files checks the index bound as well.
    g_indexes.push_back(static_cast<std::uint32_t>(g_indexes.size()));
    for (const std::uint32_t index : g_indexes) {
        read_into_memory(context, index, 1, 0);
        read_into_memory(context, index, 0, 1);
        const std::string target = folder.target(index);
        RecoverRawFile(context, 0, index, target.c_str(), keep_copying);
        expect_kept(target,
                    [&] { return RecoverRawFile(context, 0, index, target.c_str(), nullptr); });
    }
    ReleaseRawRecovery(context);
}

void run_partition_listing(Input disk) {
    present_disk(disk);
    platform::machine();
    if (void* context = InitRawRecovery(ignore_list)) ReleaseRawRecovery(context);
    if (void* manager = InitRawRecoveryEx(ignore_list)) ReleaseRawRecoveryEx(manager);
}

}  // namespace tobrin::fuzz
