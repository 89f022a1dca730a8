#include "fat_scan.h"

#include <algorithm>
#include <array>

#include "device_io.h"
#include "found_line.h"
#include "tobrin/platform/text.h"

namespace volscan {
namespace {

using tobrin::Bytes;
using tobrin::load_le;
using tobrin::platform::DeviceHandle;

constexpr std::size_t kEntrySize = 32;
constexpr std::uint8_t kDeletedMark = 0xE5;
constexpr std::uint8_t kLongNameAttributes = 0x0F;
constexpr std::uint8_t kFolderAttribute = 0x10;
// Windows paths stay below 260 characters, so real trees are far shallower; the bound
// keeps crafted trees from exhausting the stack.
constexpr unsigned kMaxFolderDepth = 256;
constexpr std::array<std::size_t, 13> kLongNameOffsets = {1,  3,  5,  7,  9,  14, 16,
                                                          18, 20, 22, 24, 28, 30};

std::uint32_t first_cluster(Bytes e) {
    return std::uint32_t{load_le<std::uint16_t>(e, 20)} << 16 | load_le<std::uint16_t>(e, 26);
}

bool is_long_name_part(Bytes e) {
    return (e[11] & 0x3F) == kLongNameAttributes;
}

// "." or "..", blank-padded to eleven bytes.
bool is_dot_entry(Bytes e) {
    const std::size_t dots = e[1] == '.' ? 2 : 1;
    if (e[0] != '.') return false;
    return std::all_of(e.begin() + dots, e.begin() + 11, [](std::uint8_t b) { return b == ' '; });
}

// Holds one FAT sector; consecutive entries in the same sector cost no read.
class FatSectorCache {
  public:
    FatSectorCache(const DeviceHandle& device, std::uint32_t bytes_per_sector)
        : device_(device), bytes_(bytes_per_sector) {}

    bool load(std::uint64_t sector) {
        if (loaded_ && sector_ == sector) return true;
        loaded_ = read_exact(device_, sector * bytes_.size(), bytes_);
        sector_ = sector;
        return loaded_;
    }
    Bytes bytes() const { return bytes_; }

  private:
    const DeviceHandle& device_;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t sector_ = 0;
    bool loaded_ = false;
};

// The long name collected from the entries in front of a short entry.
struct PendingName {
    std::u16string text;
    bool set = false;
    void clear() { *this = {}; }
};

// The run of long-name entries last counted: [begin, short_entry).
struct LongNameRun {
    std::size_t begin = 0;
    std::size_t short_entry = 0;
};

class FolderWalker {
  public:
    FolderWalker(VolscanContext& context, VolscanLineCallback callback)
        : context_(context),
          volume_(context.fat()),
          geometry_(volume_.geometry),
          callback_(callback),
          path_(context.root()) {}

    // Returns false when a deleted folder's buffer does not look like a folder.
    bool walk(Bytes folder, bool deleted, unsigned depth);

  private:
    bool keep_going() const { return geometry_.traits->keep_going->load() != 0; }
    std::optional<std::size_t> collect_long_name(Bytes folder, std::size_t at, PendingName& pending,
                                                 LongNameRun& run) const;
    std::string entry_name(Bytes e, PendingName& pending) const;
    bool take_file(Bytes e, bool deleted, PendingName& pending);
    void take_folder(Bytes e, bool deleted, PendingName& pending, unsigned depth);
    std::optional<std::vector<std::uint8_t>> load_folder(const std::vector<std::uint32_t>& chain);

    VolscanContext& context_;
    FatVolume& volume_;
    const FatGeometry& geometry_;
    VolscanLineCallback callback_;
    std::string path_;  // of the folder being walked, ending in "\"
};

bool FolderWalker::walk(Bytes folder, bool deleted, unsigned depth) {
    if (deleted && !(folder.size() >= 2 * kEntrySize && is_dot_entry(folder.subspan(kEntrySize)))) {
        return false;
    }
    if (folder.size() < kEntrySize || folder[0] == 0) return true;
    PendingName pending;
    LongNameRun run;
    for (std::size_t at = 0;;) {
        const Bytes e = folder.subspan(at, kEntrySize);
        std::size_t next = at + kEntrySize;
        if (passes_entry_check(e, geometry_)) {
            if (is_long_name_part(e)) {
                next = collect_long_name(folder, at, pending, run).value_or(next);
            } else if ((e[11] & 0x18) == 0) {
                if (!take_file(e, deleted, pending)) return true;
            } else if ((e[11] & 0x18) == kFolderAttribute) {
                take_folder(e, deleted, pending, depth);
            }
        }
        if (next + kEntrySize > folder.size() || !keep_going() || folder[next] == 0) break;
        at = next;
    }
    return true;
}

std::optional<std::size_t> FolderWalker::collect_long_name(Bytes folder, std::size_t at,
                                                           PendingName& pending,
                                                           LongNameRun& run) const {
    if (at < run.begin || at >= run.short_entry) {
        std::size_t end = at;
        while (end + kEntrySize <= folder.size() &&
               is_long_name_part(folder.subspan(end, kEntrySize))) {
            end += kEntrySize;
        }
        run = {at, end};
    }
    const std::size_t short_at = run.short_entry;
    if (short_at + kEntrySize > folder.size() ||
        !passes_entry_check(folder.subspan(short_at, kEntrySize), geometry_)) {
        return std::nullopt;
    }
    for (std::size_t part = short_at; part > at;) {
        part -= kEntrySize;
        const Bytes e = folder.subspan(part, kEntrySize);
        if (load_le<std::uint16_t>(e, 26) != 0) continue;
        for (const std::size_t offset : kLongNameOffsets) {
            pending.text += static_cast<char16_t>(load_le<std::uint16_t>(e, offset));
        }
    }
    pending.set = true;
    return short_at;
}

std::string FolderWalker::entry_name(Bytes e, PendingName& pending) const {
    if (!pending.set) return short_name(e);
    std::u16string_view text = pending.text;
    text = text.substr(0, text.find(u'\0'));
    std::string name = tobrin::platform::utf16_to_ansi(text);
    pending.clear();
    return name;
}

bool FolderWalker::take_file(Bytes e, bool deleted, PendingName& pending) {
    const std::string name = entry_name(e, pending);
    if (first_cluster(e) < 2 || !(e[0] == kDeletedMark || deleted)) return true;
    const FatEntry entry{path_ + name, first_cluster(e), load_le<std::uint32_t>(e, 28),
                         load_le<std::uint16_t>(e, 22), load_le<std::uint16_t>(e, 24)};
    volume_.entries.push_back(entry);
    if (!callback_) return true;
    const std::string line = fat_line(context_, entry, volume_.entries.size() - 1);
    const bool go_on = callback_(line.c_str()) != 0;
    geometry_.traits->keep_going->store(go_on ? 1 : 0);
    return go_on;
}

void FolderWalker::take_folder(Bytes e, bool deleted, PendingName& pending, unsigned depth) {
    if (is_dot_entry(e)) {
        pending.clear();
        return;
    }
    const std::string name = entry_name(e, pending);
    const std::uint32_t start = first_cluster(e);
    if (start < 2 ||
        std::uint64_t{start} * geometry_.sectors_per_cluster > geometry_.total_sectors ||
        depth >= kMaxFolderDepth) {
        return;
    }
    const bool child_deleted = e[0] == kDeletedMark || deleted;
    const std::vector<std::uint32_t> chain =
        child_deleted ? std::vector<std::uint32_t>{start}
                      : cluster_chain(*context_.volume, geometry_, start);
    if (std::any_of(chain.begin(), chain.end(),
                    [&](std::uint32_t c) { return volume_.visited.contains(c); })) {
        return;
    }
    volume_.visited.insert(chain.begin(), chain.end());
    const auto buffer = load_folder(chain);
    if (!buffer) return;
    const std::size_t parent_length = path_.size();
    path_ += name + "\\";
    walk(*buffer, child_deleted, depth + 1);
    path_.resize(parent_length);
}

// One cluster after the other into one buffer; unreadable clusters stay zero. None when
// a cluster lies beyond the volume.
std::optional<std::vector<std::uint8_t>> FolderWalker::load_folder(
    const std::vector<std::uint32_t>& chain) {
    const std::size_t cluster_bytes = geometry_.bytes_per_cluster;
    std::vector<std::uint8_t> buffer(chain.size() * cluster_bytes);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const auto sector = geometry_.cluster_sector(chain[i]);
        if (!sector || *sector > geometry_.total_sectors) return std::nullopt;
        const tobrin::MutableBytes place(buffer.data() + i * cluster_bytes, cluster_bytes);
        if (!read_exact(*context_.volume, *sector * geometry_.bytes_per_sector, place)) {
            std::fill(place.begin(), place.end(), 0);
        }
    }
    return buffer;
}

// The root folder of a FAT32 volume: its cluster chain, read cluster by cluster.
std::vector<std::uint8_t> load_fat32_root(VolscanContext& context) {
    FatVolume& volume = context.fat();
    const FatGeometry& g = volume.geometry;
    const auto chain = cluster_chain(*context.volume, g, g.root_cluster);
    volume.visited.insert(chain.begin(), chain.end());
    std::vector<std::uint8_t> buffer(chain.size() * g.bytes_per_cluster);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const tobrin::MutableBytes place(buffer.data() + i * g.bytes_per_cluster,
                                         g.bytes_per_cluster);
        const auto offset = g.cluster_offset(chain[i]);
        if (!offset || !read_exact(*context.volume, *offset, place)) {
            std::fill(place.begin(), place.end(), 0);
        }
    }
    return buffer;
}

Expected<std::vector<std::uint8_t>> load_fat16_root(VolscanContext& context) {
    const FatGeometry& g = context.fat().geometry;
    return read_block(*context.volume, std::uint64_t{g.root_first_sector} * g.bytes_per_sector,
                      std::uint64_t{g.root_entry_count} * kEntrySize);
}

}  // namespace

Expected<FatVolume> init_fat(const DeviceHandle& device, FsKind kind) {
    const auto boot = kind == FsKind::fat32 ? read_boot_sector(device) : read_block(device, 0, 512);
    if (!boot) return boot.failure();
    const auto geometry = FatGeometry::decode(*boot, kind, device.size());
    if (!geometry) return geometry.failure();
    FatVolume volume;
    volume.geometry = *geometry;
    return volume;
}

std::vector<std::uint32_t> cluster_chain(const DeviceHandle& device, const FatGeometry& g,
                                         std::uint32_t start) {
    const FatTraits& traits = *g.traits;
    std::vector<std::uint32_t> chain{start};
    if (start == traits.unfollowed_start) return chain;
    std::set<std::uint32_t> seen{start};
    FatSectorCache cache(device, g.bytes_per_sector);
    for (std::uint32_t c = start; c <= g.max_cluster;) {
        const std::uint64_t at = std::uint64_t{g.reserved_sectors} * g.bytes_per_sector +
                                 std::uint64_t{c} * traits.entry_width;
        if (!cache.load(at / g.bytes_per_sector)) break;
        const std::uint64_t within = at % g.bytes_per_sector;
        const std::uint32_t value =
            (traits.entry_width == 4 ? load_le<std::uint32_t>(cache.bytes(), within)
                                     : load_le<std::uint16_t>(cache.bytes(), within)) &
            traits.entry_mask;
        // The bad-cluster mark has no successor: the chain ends there too.
        if (value >= traits.bad_cluster || !seen.insert(value).second) break;
        chain.push_back(value);
        c = value;
    }
    return chain;
}

bool passes_entry_check(Bytes e, const FatGeometry& g) {
    const std::uint8_t attributes = e[11];
    if (attributes & 0xC0) return false;
    if (attributes == kLongNameAttributes) return load_le<std::uint16_t>(e, 26) == 0;
    if (std::uint64_t{first_cluster(e)} * g.sectors_per_cluster > g.total_sectors) return false;
    if (load_le<std::uint32_t>(e, 28) > g.traits->max_file_size) return false;
    const std::uint16_t time = load_le<std::uint16_t>(e, 22);
    const std::uint16_t date = load_le<std::uint16_t>(e, 24);
    const unsigned day = date & 0x1F, month = (date >> 5) & 0x0F;
    return (time & 0x1F) <= 29 && ((time >> 5) & 0x3F) <= 59 && (time >> 11) <= 23 && day >= 1 &&
           month >= 1 && month <= 12;
}

std::string short_name(Bytes e) {
    const auto part = [&](std::size_t from, std::size_t to) {
        std::string bytes;
        for (std::size_t i = from; i < to && e[i] != ' ' && e[i] != 0; ++i) {
            bytes += static_cast<char>(e[i]);
        }
        return bytes;
    };
    std::string raw = e[0] == kDeletedMark ? "_" : std::string(1, static_cast<char>(e[0]));
    raw += part(1, 8);
    if (e[8] != ' ' && e[8] != 0) raw += "." + part(8, 11);
    return tobrin::platform::oem_to_ansi(raw);
}

bool scan_fat(VolscanContext& context, VolscanLineCallback callback) {
    const FatGeometry& g = context.fat().geometry;
    g.traits->keep_going->store(1);
    std::vector<std::uint8_t> root;
    if (g.traits->kind == FsKind::fat32) {
        root = load_fat32_root(context);
    } else {
        auto fat16_root = load_fat16_root(context);
        if (!fat16_root) return false;
        root = std::move(*fat16_root);
    }
    FolderWalker(context, callback).walk(root, false, 0);
    return true;
}

}  // namespace volscan
