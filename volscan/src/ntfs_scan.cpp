#include "ntfs_scan.h"

#include <algorithm>

#include "device_io.h"
#include "found_line.h"
#include "ntfs_record.h"

namespace volscan {
namespace {

using tobrin::NtfsRun;
using tobrin::platform::DeviceHandle;

constexpr std::uint64_t kReadBlockBytes = 256 * 1024;
constexpr std::uint64_t kRecordFlagsOffset = 22;
// Deeper chains than this are taken as broken (a cycle or crafted metadata).
constexpr std::size_t kMaxFolderDepth = 1024;

// The MFT as one logical byte stream over its runs, so that a record split across two
// runs is read from both.
class MftStream {
  public:
    MftStream(const DeviceHandle& device, const std::vector<NtfsRun>& runs,
              std::uint32_t bytes_per_cluster)
        : device_(device) {
        for (const NtfsRun& run : runs) {
            const std::uint64_t length =
                static_cast<std::uint64_t>(run.cluster_count) * bytes_per_cluster;
            if (length == 0) continue;
            extents_.push_back(
                {size_, static_cast<std::uint64_t>(run.first_cluster) * bytes_per_cluster, length});
            size_ += length;
        }
    }

    std::uint64_t size() const { return size_; }

    bool read(std::uint64_t offset, tobrin::MutableBytes out) const {
        auto extent =
            std::upper_bound(extents_.begin(), extents_.end(), offset,
                             [](std::uint64_t at, const Extent& e) { return at < e.logical; });
        if (extent == extents_.begin()) return false;
        --extent;
        while (!out.empty()) {
            if (extent == extents_.end()) return false;
            const std::uint64_t within = offset - extent->logical;
            const std::uint64_t piece =
                std::min<std::uint64_t>(out.size(), extent->length - within);
            if (!read_exact(device_, extent->physical + within, out.first(piece))) return false;
            out = out.subspan(piece);
            offset += piece;
            ++extent;
        }
        return true;
    }

  private:
    struct Extent {
        std::uint64_t logical, physical, length;
    };
    const DeviceHandle& device_;
    std::vector<Extent> extents_;
    std::uint64_t size_ = 0;
};

std::optional<std::vector<FileName>> file_names(const MftRecord& record) {
    std::vector<FileName> names;
    for (const Attribute& a : record.attributes) {
        if (a.type != kFileName || !a.resident) continue;
        auto name = parse_file_name(a.value);
        if (!name) return std::nullopt;
        names.push_back(std::move(*name));
    }
    return names;
}

void add_directory(NtfsVolume& volume, const MftRecord& record) {
    const auto names = file_names(record);
    if (!names) return;
    Directory d;
    d.record = record.number;
    d.sequence = record.sequence;
    d.in_use = record.in_use();
    for (const FileName& name : *names) {
        d.parent = name.parent;
        d.parent_sequence = name.parent_sequence;
        if (!name.dos_only) {
            d.name = name.name;
            break;
        }
    }
    if (d.name.empty()) return;
    if (d.parent == kRootRecord && d.name == u".") d.record = kRootRecord;
    volume.directories.try_emplace(d.record, std::move(d));
}

void add_entry(NtfsVolume& volume, const MftRecord& record) {
    const auto names = file_names(record);
    if (!names) return;
    NtfsEntry e;
    e.record = record.number;
    for (const FileName& name : *names) {
        e.parent = name.parent;
        e.parent_sequence = name.parent_sequence;
        e.times = name.times;
        e.size = name.size;
        if (!name.dos_only) e.name = name.name;
    }
    if (e.name.empty()) return;
    if (auto data = decode_data(record, volume.geometry.cluster_count)) {
        e.kind = data->kind;
        e.resident = std::move(data->resident);
        e.runs = std::move(data->runs);
        e.size = data->size;
    }
    if (e.size == 0 && e.kind == DataKind::resident) e.size = e.resident.size();
    if (e.size == 0 && e.kind == DataKind::runs) {
        for (const NtfsRun& run : e.runs) {
            e.size +=
                static_cast<std::uint64_t>(run.cluster_count) * volume.geometry.bytes_per_cluster;
        }
    }
    volume.entries.push_back(std::move(e));
}

void take_record(NtfsVolume& volume, tobrin::MutableBytes bytes) {
    // A file in use is neither reported nor a folder on anyone's path: the flags word,
    // which the fixups never touch, is enough to pass it over unparsed.
    MftRecord header;
    header.flags = tobrin::load_le<std::uint16_t>(bytes, kRecordFlagsOffset);
    if (header.in_use() && !header.is_folder()) return;
    if (!apply_fixups(bytes)) return;
    const auto record = parse_record(bytes);
    if (!record || is_skipped(*record)) return;
    if (record->is_folder()) {
        add_directory(volume, *record);
    } else if (!record->in_use()) {
        add_entry(volume, *record);
    }
}

// Reads the MFT in blocks; a block that fails is read again record by record, so that
// one unreadable record costs only itself.
void collect_records(NtfsVolume& volume, const MftStream& mft) {
    const std::uint64_t record_size = volume.geometry.record_size;
    const std::uint64_t per_block = std::max<std::uint64_t>(1, kReadBlockBytes / record_size);
    const std::uint64_t records = mft.size() / record_size;
    std::vector<std::uint8_t> block(per_block * record_size);
    for (std::uint64_t first = 0; first < records; first += per_block) {
        const std::uint64_t count = std::min(per_block, records - first);
        const tobrin::MutableBytes span(block.data(), count * record_size);
        const bool whole = mft.read(first * record_size, span);
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto record = span.subspan(i * record_size, record_size);
            if (whole || mft.read((first + i) * record_size, record)) take_record(volume, record);
        }
    }
}

std::uint16_t next_sequence(std::uint16_t s) {
    if (s == 0) return 0;
    return s == 0xFFFF ? 1 : static_cast<std::uint16_t>(s + 1);
}

// NTFS bumps a record's sequence number when it frees the record.
bool reference_holds(const Directory& folder, std::uint16_t sequence) {
    return sequence == folder.sequence ||
           (!folder.in_use && next_sequence(sequence) == folder.sequence);
}

}  // namespace

Expected<NtfsVolume> init_ntfs(const DeviceHandle& device) {
    const auto boot = read_boot_sector(device);
    if (!boot) return boot.failure();
    const auto record_size = device.ntfs_bytes_per_record();
    if (!record_size) return Failure::read_failed;
    const auto geometry = NtfsGeometry::decode(*boot, *record_size, device.size());
    if (!geometry) return geometry.failure();
    auto record = read_block(device, geometry->mft_offset, geometry->record_size);
    if (!record) return record.failure();
    apply_fixups(*record);
    NtfsVolume volume;
    volume.geometry = *geometry;
    volume.mft_record = std::move(*record);
    return volume;
}

std::u16string folder_path(const NtfsVolume& volume, const NtfsEntry& entry,
                           std::u16string_view root) {
    std::vector<const Directory*> chain;
    std::uint32_t wanted = entry.parent;
    std::uint16_t sequence = entry.parent_sequence;
    while (chain.size() <= kMaxFolderDepth) {
        const auto found = volume.directories.find(wanted);
        if (found == volume.directories.end() || !reference_holds(found->second, sequence)) break;
        const Directory& folder = found->second;
        if (folder.record == kRootRecord) {
            std::u16string path(root);
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (*it)->name + u"\\";
            return path;
        }
        chain.push_back(&folder);
        wanted = folder.parent;
        sequence = folder.parent_sequence;
    }
    return {};
}

bool scan_ntfs(VolscanContext& context, VolscanLineCallback callback) {
    NtfsVolume& volume = context.ntfs();
    const auto record0 = parse_record(volume.mft_record);
    if (!record0) return false;
    const auto mft_data = decode_data(*record0, volume.geometry.cluster_count);
    if (!mft_data || mft_data->kind != DataKind::runs) return false;
    const MftStream mft(*context.volume, mft_data->runs, volume.geometry.bytes_per_cluster);
    collect_records(volume, mft);

    const std::u16string root(context.root().begin(), context.root().end());
    for (std::size_t i = 0; i < volume.entries.size(); ++i) {
        volume.entries[i].path = folder_path(volume, volume.entries[i], root);
        if (!callback) continue;
        const std::string line = ntfs_line(context, i);
        if (callback(line.c_str()) == 0) break;
    }
    return true;
}

}  // namespace volscan
