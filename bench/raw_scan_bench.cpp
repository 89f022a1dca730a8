// Times the raw engine's exports alone, without a front end: PrepareRawRecovery and
// ScanRawPartition of one partition, with a callback that only counts the lines.
//
//     raw_scan_bench IMAGE [PARTITION] [RUNS]
//
// Prints one line per run and then the median scan time, so that run_bench.py can set
// the engine's own time beside the whole tobrin-cli process.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rawscan.h"
#include "tobrin/platform/machine.h"

namespace {

std::uint64_t lines_seen = 0;

int TOBRIN_CALL count_line(const char*) {
    ++lines_seen;
    return 1;
}

void TOBRIN_CALL ignore_list(const char*) {}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: raw_scan_bench IMAGE [PARTITION] [RUNS]\n");
        return 2;
    }
    const auto partition = static_cast<std::uint32_t>(argc > 2 ? std::atoi(argv[2]) : 0);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    tobrin::platform::DiskSource image;
    image.path = argv[1];
    const auto errors = tobrin::platform::use_disks({image});
    if (!errors.empty()) {
        std::fprintf(stderr, "raw_scan_bench: %s\n", errors.front().message.c_str());
        return 1;
    }
    void* context = InitRawRecovery(ignore_list);
    std::vector<double> scans;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!PrepareRawRecovery(context, partition)) {
            std::fprintf(stderr, "raw_scan_bench: partition %u cannot be prepared\n", partition);
            return 1;
        }
        const double prepared = seconds_since(start);
        lines_seen = 0;
        const auto scan_start = std::chrono::steady_clock::now();
        ScanRawPartition(context, partition, count_line);
        scans.push_back(seconds_since(scan_start));
        std::printf("run %d: prepared in %.6f s, scanned in %.6f s, %llu lines\n", run + 1,
                    prepared, scans.back(), static_cast<unsigned long long>(lines_seen));
    }
    ReleaseRawRecovery(context);
    std::sort(scans.begin(), scans.end());
    std::printf("median scan: %.6f s\n", scans[scans.size() / 2]);
    return 0;
}
