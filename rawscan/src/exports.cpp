// The flat interface. Nothing is thrown across it: every failure is 0 or null.
#include <memory>

#include "fat32_rawscan.h"
#include "instance_manager.h"
#include "ntfs_rawscan.h"
#include "partition_table.h"
#include "rawscan.h"
#include "tobrin/platform/files.h"

namespace rawscan {
namespace {

struct RawContext {
    fat32::CRawscan fat32;
    ntfs::CRawscan ntfs;
    std::vector<PartitionRecord> table;

    PartitionRecord* record(std::uint32_t index) {
        return index < table.size() ? &table[index] : nullptr;
    }
    CRecoveryEngine* engine_for(const PartitionRecord& r) {
        switch (engine_kind(r.type)) {
            case EngineKind::ntfs:
                return &ntfs;
            case EngineKind::fat32:
                return &fat32;
            case EngineKind::none:
                break;
        }
        return nullptr;
    }
    CRecoveryEngine* engine(std::uint32_t index) {
        PartitionRecord* r = record(index);
        return r ? engine_for(*r) : nullptr;
    }
};

std::optional<PartitionTable> enumerate_and_report(RawPartitionListCallback callback) {
    auto table = enumerate_partitions();
    if (table && callback) callback(partition_list_text(*table).c_str());
    return table;
}

template <class F>
auto guarded(F&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return {};
    }
}

}  // namespace
}  // namespace rawscan

using rawscan::CInstanceManager;
using rawscan::RawContext;

extern "C" {

void* TOBRIN_CALL InitRawRecovery(RawPartitionListCallback callback) {
    if (!callback) return nullptr;
    return rawscan::guarded([&]() -> void* {
        auto context = std::make_unique<RawContext>();
        if (auto table = rawscan::enumerate_and_report(callback)) {
            context->table = std::move(table->records);
        }
        return context.release();
    });
}

int TOBRIN_CALL ReleaseRawRecovery(void* context) {
    if (!context) return 0;
    delete static_cast<RawContext*>(context);
    return 1;
}

int TOBRIN_CALL PrepareRawRecovery(void* context, uint32_t partition_index) {
    if (!context) return 0;
    return rawscan::guarded([&]() -> int {
        auto* ctx = static_cast<RawContext*>(context);
        rawscan::PartitionRecord* r = ctx->record(partition_index);
        rawscan::CRecoveryEngine* engine = r ? ctx->engine_for(*r) : nullptr;
        if (!engine) return 0;
        engine->Reset();
        return engine->Prepare(r->disk_index, r->root, &r->start, &r->length);
    });
}

int TOBRIN_CALL ScanRawPartition(void* context, uint32_t partition_index,
                                 RawFileReportCallback callback) {
    if (!context) return 0;
    return rawscan::guarded([&]() -> int {
        auto* engine = static_cast<RawContext*>(context)->engine(partition_index);
        return engine ? engine->Scan(callback) : 0;
    });
}

int TOBRIN_CALL RecoverRawFile(void* context, uint32_t partition_index, uint32_t file_index,
                               const char* target_path, RawProgressCallback progress) {
    if (!context) return 0;
    return rawscan::guarded([&]() -> int {
        auto* engine = static_cast<RawContext*>(context)->engine(partition_index);
        return engine ? engine->Recover(file_index, target_path, progress) : 0;
    });
}

void* TOBRIN_CALL GetRawFileCluster(void* context, uint32_t partition_index, uint32_t file_index,
                                    uint32_t cluster_count, int whole_file, uint64_t* size_out) {
    if (!context) return nullptr;
    return rawscan::guarded([&]() -> void* {
        auto* engine = static_cast<RawContext*>(context)->engine(partition_index);
        return engine ? engine->GetClusters(file_index, cluster_count, whole_file, size_out)
                      : nullptr;
    });
}

int TOBRIN_CALL ReleaseRawFileBuffer(void* buffer) {
    if (!buffer) return 0;
    tobrin::platform::heap_free(buffer);
    return 1;
}

void* TOBRIN_CALL InitRawRecoveryEx(RawPartitionListCallback callback) {
    return rawscan::guarded([&]() -> void* {
        auto table = rawscan::enumerate_and_report(callback);
        if (!table) return nullptr;
        return new CInstanceManager(std::move(*table));
    });
}

int TOBRIN_CALL ReleaseRawRecoveryEx(void* manager) {
    if (manager) {
        auto* m = static_cast<CInstanceManager*>(manager);
        m->reset_all();
        delete m;
    }
    return 1;
}

int TOBRIN_CALL PrepareRawRecoveryEx(void* manager, const char* index_list) {
    if (!manager) return 0;
    if (!index_list) return 1;
    return rawscan::guarded([&]() -> int {
        static_cast<CInstanceManager*>(manager)->prepare(index_list);
        return 1;
    });
}

int TOBRIN_CALL ScanRawPartitionEx(void* manager, RawFileReportCallback callback, uint32_t mode,
                                   const char* index_list) {
    if (!manager || !callback || ((mode & 2) && !index_list)) return 0;
    auto* m = static_cast<CInstanceManager*>(manager);
    if (mode & 1) return rawscan::guarded([&]() -> int { return m->scan_all(callback); });
    if (!index_list) return 0;
    return rawscan::guarded([&]() -> int { return m->scan_listed(callback, index_list); });
}

int TOBRIN_CALL RecoverRawFileEx(void* manager, uint32_t partition_index, uint32_t file_index,
                                 const char* target_path, RawProgressCallback progress) {
    if (!manager) return 0;
    return rawscan::guarded([&]() -> int {
        auto* engine = static_cast<CInstanceManager*>(manager)->engine(partition_index);
        return engine ? engine->Recover(file_index, target_path, progress) : 0;
    });
}

void* TOBRIN_CALL GetRawFileClusterEx(void* manager, uint32_t partition_index, uint32_t file_index,
                                      uint32_t cluster_count, int whole_file, uint64_t* size_out) {
    if (!manager) return nullptr;
    return rawscan::guarded([&]() -> void* {
        auto* engine = static_cast<CInstanceManager*>(manager)->engine(partition_index);
        return engine ? engine->GetClusters(file_index, cluster_count, whole_file, size_out)
                      : nullptr;
    });
}

}  // extern "C"
