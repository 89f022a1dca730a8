// The operations every raw file-system engine offers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rawscan.h"
#include "tobrin/platform/text.h"

namespace rawscan {

class CRecoveryEngine {
  public:
    virtual ~CRecoveryEngine() = default;
    // `root`, `start` and `length` point into the partition's record.
    virtual int Prepare(std::uint32_t disk_index, const char* root, const std::uint64_t* start,
                        const std::uint64_t* length) = 0;
    virtual void Reset() = 0;
    virtual int Scan(RawFileReportCallback callback) = 0;
    virtual int Recover(std::uint32_t file_index, const char* target_path,
                        RawProgressCallback progress) = 0;
    // A process-heap block holding whole clusters of the file; null on failure.
    virtual void* GetClusters(std::uint32_t file_index, std::uint32_t cluster_count, int whole_file,
                              std::uint64_t* size_out) = 0;
};

// The file report line, name|folder|size|time|index|deleted, written over `line` so
// that one buffer serves a whole scan.
void write_report_line(std::string& line, std::string_view name, std::string_view folder,
                       std::uint64_t size, const tobrin::platform::CalendarTime& time,
                       std::uint64_t index, bool deleted);

}  // namespace rawscan
