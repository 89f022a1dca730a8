// The Ex family's state: one engine per prepared partition, keyed by partition index.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "partition_table.h"
#include "recovery_engine.h"

namespace rawscan {

// The engine a partition type selects; null for types no engine reads.
std::unique_ptr<CRecoveryEngine> make_engine(std::uint32_t type);

// Decimal numbers of at most three digits joined by "|"; other items are refused
// (left out).
std::vector<std::uint32_t> parse_index_list(std::string_view text);

class CInstanceManager {
  public:
    explicit CInstanceManager(PartitionTable table) : table_(std::move(table)) {}
    virtual ~CInstanceManager() = default;

    void prepare(std::string_view index_list);
    int scan_all(RawFileReportCallback callback);
    int scan_listed(RawFileReportCallback callback, std::string_view index_list);
    void reset_all();
    // Null when no engine was prepared for the partition.
    CRecoveryEngine* engine(std::uint32_t partition_index) const;

  private:
    PartitionTable table_;
    std::map<std::uint32_t, std::unique_ptr<CRecoveryEngine>> engines_;
};

}  // namespace rawscan
