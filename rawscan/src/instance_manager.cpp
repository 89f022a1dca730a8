#include "instance_manager.h"

#include <algorithm>

#include "fat32_rawscan.h"
#include "ntfs_rawscan.h"

namespace rawscan {

std::unique_ptr<CRecoveryEngine> make_engine(std::uint32_t type) {
    switch (engine_kind(type)) {
        case EngineKind::ntfs:
            return std::make_unique<ntfs::CRawscan>();
        case EngineKind::fat32:
            return std::make_unique<fat32::CRawscan>();
        case EngineKind::none:
            break;
    }
    return nullptr;
}

std::vector<std::uint32_t> parse_index_list(std::string_view text) {
    std::vector<std::uint32_t> indexes;
    while (true) {
        const auto bar = text.find('|');
        const std::string_view item = text.substr(0, bar);
        const bool number =
            !item.empty() && item.size() <= 3 &&
            std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (number) {
            std::uint32_t value = 0;
            for (const char c : item) value = value * 10 + static_cast<std::uint32_t>(c - '0');
            indexes.push_back(value);
        }
        if (bar == std::string_view::npos) return indexes;
        text.remove_prefix(bar + 1);
    }
}

void CInstanceManager::prepare(std::string_view index_list) {
    for (const std::uint32_t index : parse_index_list(index_list)) {
        if (index >= table_.records.size() || engines_.contains(index)) continue;
        PartitionRecord& record = table_.records[index];
        auto engine = make_engine(record.type);
        if (!engine) continue;
        engine->Prepare(record.disk_index, record.root, &record.start, &record.length);
        engines_.emplace(index, std::move(engine));
    }
}

int CInstanceManager::scan_all(RawFileReportCallback callback) {
    for (auto& [index, engine] : engines_) engine->Scan(callback);
    return 1;
}

int CInstanceManager::scan_listed(RawFileReportCallback callback, std::string_view index_list) {
    const std::vector<std::uint32_t> listed = parse_index_list(index_list);
    for (auto& [index, engine] : engines_) {
        if (std::find(listed.begin(), listed.end(), index) != listed.end()) engine->Scan(callback);
    }
    return 1;
}

void CInstanceManager::reset_all() {
    for (auto& [index, engine] : engines_) engine->Reset();
}

CRecoveryEngine* CInstanceManager::engine(std::uint32_t partition_index) const {
    const auto it = engines_.find(partition_index);
    return it == engines_.end() ? nullptr : it->second.get();
}

}  // namespace rawscan
