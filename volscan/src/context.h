// The volume context behind the opaque handle, and the entries a scan collects.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "geometry.h"
#include "tobrin/platform/handle.h"
#include "tobrin/platform/ntfs.h"
#include "volscan.h"

namespace volscan {

// Where an NTFS file's bytes are: held in its record, or along a run list.
enum class DataKind : std::uint32_t { resident = 0, runs = 1 };

struct NtfsTimes {
    std::uint64_t creation = 0, modification = 0, mft_change = 0, last_access = 0;
};

struct NtfsEntry {
    std::u16string name;
    std::u16string path;  // folder part ending in "\", empty for an orphan
    std::uint32_t record = 0;
    std::uint32_t parent = 0;
    std::uint16_t parent_sequence = 0;  // bits 48-63 of the parent reference
    DataKind kind = DataKind::resident;
    std::vector<std::uint8_t> resident;  // kind resident; empty without a $DATA
    std::vector<tobrin::NtfsRun> runs;   // kind runs
    NtfsTimes times;
    std::uint64_t size = 0;
};

struct Directory {
    std::uint32_t record = 0;
    std::uint32_t parent = 0;
    std::uint16_t parent_sequence = 0;
    std::uint16_t sequence = 0;  // the folder record's own sequence number
    bool in_use = false;
    std::u16string name;
};

inline constexpr std::uint32_t kRootRecord = 5;

struct NtfsVolume {
    NtfsGeometry geometry;
    std::vector<std::uint8_t> mft_record;  // record 0, fixed up when its check passed
    std::map<std::uint32_t, Directory> directories;
    std::vector<NtfsEntry> entries;
};

struct FatEntry {
    std::string path;  // root path, folders and the file name
    std::uint32_t first_cluster = 0;
    std::uint32_t size = 0;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

struct FatVolume {
    FatGeometry geometry;
    std::vector<FatEntry> entries;
    std::set<std::uint32_t> visited;  // folder clusters already walked
};

}  // namespace volscan

struct VolscanContext {
    std::array<char, 4> root_path{};  // "C:\" and its NUL
    std::unique_ptr<tobrin::platform::DeviceHandle> volume;
    volscan::FsKind kind = volscan::FsKind::ntfs;
    std::optional<tobrin::platform::VolumeBitmap> bitmap;  // loaded by the first coverage query
    bool scanned = false;
    std::variant<volscan::NtfsVolume, volscan::FatVolume> fs;

    std::string_view root() const { return {root_path.data(), 3}; }
    volscan::NtfsVolume& ntfs() { return std::get<volscan::NtfsVolume>(fs); }
    volscan::FatVolume& fat() { return std::get<volscan::FatVolume>(fs); }
    std::size_t entry_count() const;
};

struct VolscanSet {
    std::vector<std::unique_ptr<VolscanContext>> volumes;
};
