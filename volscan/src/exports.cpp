// The flat interface: argument checks, kind dispatch, and the Ex family over volume
// sets. Nothing is thrown across it.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "context.h"
#include "coverage.h"
#include "detection.h"
#include "extract.h"
#include "fat_scan.h"
#include "ntfs_scan.h"
#include "volscan.h"

using namespace volscan;

std::size_t VolscanContext::entry_count() const {
    return std::visit([](const auto& fs) { return fs.entries.size(); }, fs);
}

namespace {

// Runs `body`; an exhausted heap (or any other exception) becomes the export's failure
// value instead of crossing the C boundary.
template <class Result, class Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool has_entry(const VolscanContext* context, std::uint32_t index) {
    return context && index < context->entry_count();
}

std::unique_ptr<VolscanContext> open_context(std::string_view drive) {
    if (drive.size() != 2) return nullptr;
    auto context = std::make_unique<VolscanContext>();
    std::copy(drive.begin(), drive.end(), context->root_path.begin());
    context->root_path[2] = '\\';
    context->volume = tobrin::platform::DeviceHandle::open("\\\\.\\" + std::string(drive));
    if (!context->volume) return nullptr;
    const auto kind = detect_kind(context->root());
    if (!kind) return nullptr;
    context->kind = *kind;
    if (*kind == FsKind::ntfs) {
        auto ntfs = init_ntfs(*context->volume);
        if (!ntfs) return nullptr;
        context->fs = std::move(*ntfs);
    } else {
        auto fat = init_fat(*context->volume, *kind);
        if (!fat) return nullptr;
        context->fs = std::move(*fat);
    }
    return context;
}

}  // namespace

extern "C" {

VolscanContext* TOBRIN_CALL InitVolumeInfo(const char* drive) {
    if (!drive) return nullptr;
    return guarded<VolscanContext*>(nullptr, [&] { return open_context(drive).release(); });
}

int32_t TOBRIN_CALL ReleaseVolumeInfo(VolscanContext* context) {
    delete context;
    return 1;
}

// A context is scanned once; a second scan would append its entries again.
int32_t TOBRIN_CALL ScanVolume(VolscanContext* context, VolscanLineCallback callback) {
    if (!context || context->scanned) return 0;
    return guarded<int32_t>(0, [&] {
        context->scanned = true;
        const bool ran = context->kind == FsKind::ntfs ? scan_ntfs(*context, callback)
                                                       : scan_fat(*context, callback);
        return ran ? 1 : 0;
    });
}

int32_t TOBRIN_CALL RecoverFile(VolscanContext* context, uint32_t index, const char* target,
                                VolscanClusterCallback callback) {
    if (!has_entry(context, index) || !target) return 0;
    return guarded<int32_t>(
        0, [&] { return recover_file(*context, index, target, callback).ok() ? 1 : 0; });
}

void* TOBRIN_CALL GetFileClusters(VolscanContext* context, uint32_t index, int32_t max_clusters,
                                  int32_t whole_file, uint64_t* byte_count) {
    if (!has_entry(context, index) || max_clusters == 0 || !byte_count) return nullptr;
    return guarded<void*>(nullptr, [&]() -> void* {
        if (context->kind == FsKind::ntfs) *byte_count = 0;
        auto data = read_clusters(*context, index, max_clusters, whole_file != 0);
        if (!data) return nullptr;
        *byte_count = data->bytes;
        return data->block.release();
    });
}

int32_t TOBRIN_CALL ReleaseFileBuffer(void* buffer) {
    tobrin::platform::heap_free(buffer);
    return 1;
}

int32_t TOBRIN_CALL QueryFileCoverageRate(VolscanContext* context, uint32_t index) {
    if (!has_entry(context, index)) return kRateUnknown;
    return guarded<int32_t>(kRateUnknown, [&] { return coverage_rate(*context, index); });
}

VolscanSet* TOBRIN_CALL InitVolumeInfoEx(const char* drives) {
    if (!drives) return nullptr;
    return guarded<VolscanSet*>(nullptr, [&] {
        auto set = std::make_unique<VolscanSet>();
        std::string_view rest = drives;
        for (;;) {
            const std::size_t bar = rest.find('|');
            const std::string_view token = rest.substr(0, bar);
            if (token.size() == 2) {
                if (VolscanContext* context = InitVolumeInfo(upper(token).c_str())) {
                    set->volumes.emplace_back(context);
                }
            }
            if (bar == std::string_view::npos) break;
            rest.remove_prefix(bar + 1);
        }
        return set.release();
    });
}

int32_t TOBRIN_CALL ReleaseVolumeInfoEx(VolscanSet* set) {
    delete set;
    return 1;
}

int32_t TOBRIN_CALL ScanVolumeEx(VolscanSet* set, VolscanLineCallback callback, uint32_t flags,
                                 const char* filter) {
    constexpr uint32_t kScanAll = 1, kFilterRequired = 2;
    if (!set || !callback || ((flags & kFilterRequired) && !filter)) return 0;
    if (flags & kScanAll) {
        for (auto& context : set->volumes) ScanVolume(context.get(), callback);
        return 1;
    }
    if (!filter) return 0;
    return guarded<int32_t>(0, [&] {
        const std::string wanted = upper(filter);
        for (auto& context : set->volumes) {
            const std::string_view drive(context->root_path.data(), 2);
            if (wanted.size() >= 2 && wanted.find(drive) != std::string::npos) {
                ScanVolume(context.get(), callback);
            }
        }
        return 1;
    });
}

VolscanContext* TOBRIN_CALL FindTargetVolume(VolscanSet* set, const char* drive) {
    if (!set || !drive || std::strlen(drive) < 2) return nullptr;
    const std::string wanted = upper(std::string_view(drive, 2));
    for (auto& context : set->volumes) {
        if (upper(std::string_view(context->root_path.data(), 2)) == wanted) return context.get();
    }
    return nullptr;
}

int32_t TOBRIN_CALL RecoverFileEx(VolscanSet* set, const char* drive, uint32_t index,
                                  const char* target, VolscanClusterCallback callback) {
    if (!set || !drive || !target) return 0;
    VolscanContext* context = FindTargetVolume(set, drive);
    return context ? RecoverFile(context, index, target, callback) : 0;
}

void* TOBRIN_CALL GetFileClustersEx(VolscanSet* set, const char* drive, uint32_t index,
                                    int32_t max_clusters, int32_t whole_file,
                                    uint64_t* byte_count) {
    if (!set || !drive || !byte_count || (max_clusters == 0 && whole_file == 0)) return nullptr;
    VolscanContext* context = FindTargetVolume(set, drive);
    return context ? GetFileClusters(context, index, max_clusters, whole_file, byte_count)
                   : nullptr;
}

}  // extern "C"
