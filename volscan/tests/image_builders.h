// Small NTFS and FAT volumes built in memory, for the edges real tools do not make.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tobrin/platform/device.h"
#include "tobrin/platform/machine.h"
#include "volscan.h"

namespace volscan::testing {

using ByteVector = std::vector<std::uint8_t>;

inline void put16(ByteVector& b, std::size_t at, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put32(ByteVector& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put64(ByteVector& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Presents the images as the machine's disks ("C:", "D:", ...) and returns the devices,
// so that tests can mark ranges unreadable.
inline std::vector<std::shared_ptr<tobrin::platform::MemoryDevice>> mount(
    std::vector<ByteVector> images, std::uint32_t sector_size = 512) {
    std::vector<tobrin::platform::DiskSource> sources;
    std::vector<std::shared_ptr<tobrin::platform::MemoryDevice>> devices;
    for (auto& image : images) {
        auto device = std::make_shared<tobrin::platform::MemoryDevice>(std::move(image));
        devices.push_back(device);
        sources.push_back({"memory", sector_size, device, true});
    }
    tobrin::platform::use_disks(sources);
    return devices;
}

struct ContextCloser {
    void operator()(VolscanContext* c) const { ReleaseVolumeInfo(c); }
};
using ContextPtr = std::unique_ptr<VolscanContext, ContextCloser>;

// Collects the lines a scan reports; stops after `limit` lines.
struct LineSink {
    static inline std::vector<std::string> lines;
    static inline std::size_t limit = SIZE_MAX;
    static std::int32_t TOBRIN_CALL take(const char* line) {
        lines.emplace_back(line);
        return lines.size() < limit ? 1 : 0;
    }
    static void reset(std::size_t stop_after = SIZE_MAX) {
        lines.clear();
        limit = stop_after;
    }
};

// ---------------------------------------------------------------------------- NTFS

struct Run {
    std::int64_t first, count;
};

// Mapping pairs for absolute runs.
inline ByteVector encode_runs(const std::vector<Run>& runs) {
    ByteVector out;
    std::int64_t previous = 0;
    const auto width = [](std::int64_t v) {
        int n = 1;
        while (n < 8 &&
               (v < -(std::int64_t{1} << (8 * n - 1)) || v >= (std::int64_t{1} << (8 * n - 1))))
            ++n;
        return n;
    };
    for (const Run& r : runs) {
        const std::int64_t delta = r.first - previous;
        const int lw = width(r.count), ow = width(delta);
        out.push_back(static_cast<std::uint8_t>(ow << 4 | lw));
        for (int i = 0; i < lw; ++i) out.push_back(static_cast<std::uint8_t>(r.count >> (8 * i)));
        for (int i = 0; i < ow; ++i) out.push_back(static_cast<std::uint8_t>(delta >> (8 * i)));
        previous = r.first;
    }
    out.push_back(0);
    return out;
}

inline ByteVector resident_attribute(std::uint32_t type, const ByteVector& value) {
    ByteVector a((24 + value.size() + 7) / 8 * 8);
    put32(a, 0, type);
    put32(a, 4, static_cast<std::uint32_t>(a.size()));
    put32(a, 16, static_cast<std::uint32_t>(value.size()));
    put16(a, 20, 24);
    std::copy(value.begin(), value.end(), a.begin() + 24);
    return a;
}

inline ByteVector nonresident_attribute(std::uint32_t type, const ByteVector& pairs,
                                        std::uint64_t size) {
    ByteVector a((64 + pairs.size() + 7) / 8 * 8);
    put32(a, 0, type);
    put32(a, 4, static_cast<std::uint32_t>(a.size()));
    a[8] = 1;
    put16(a, 10, 64);
    put16(a, 32, 64);
    put64(a, 40, (size + 4095) / 4096 * 4096);
    put64(a, 48, size);
    put64(a, 56, size);
    std::copy(pairs.begin(), pairs.end(), a.begin() + 64);
    return a;
}

inline std::uint64_t reference(std::uint32_t record, std::uint16_t sequence) {
    return record | std::uint64_t{sequence} << 48;
}

inline ByteVector file_name(std::uint64_t parent, const std::u16string& name,
                            std::uint8_t name_space = 1, std::uint64_t change_time = 0,
                            std::uint64_t size = 0) {
    ByteVector v(66 + 2 * name.size());
    put64(v, 0, parent);
    put64(v, 24, change_time);
    put64(v, 48, size);
    v[64] = static_cast<std::uint8_t>(name.size());
    v[65] = name_space;
    for (std::size_t i = 0; i < name.size(); ++i) put16(v, 66 + 2 * i, name[i]);
    return resident_attribute(0x30, v);
}

inline ByteVector standard_information(std::uint32_t attribute_bits) {
    ByteVector v(72);
    put32(v, 32, attribute_bits);
    return resident_attribute(0x10, v);
}

// 4096-byte clusters of 8 sectors, 1024-byte records, the MFT at cluster 4 (64 records),
// the $Bitmap data at cluster 20; file data from cluster 32 on.
class NtfsImage {
  public:
    static constexpr std::uint32_t kCluster = 4096;
    static constexpr std::uint32_t kRecord = 1024;
    static constexpr std::uint64_t kMftCluster = 4;
    static constexpr std::uint32_t kMftRecords = 64;
    static constexpr std::uint64_t kBitmapCluster = 20;
    std::uint16_t check_word = 1;

    explicit NtfsImage(std::uint64_t clusters = 256)
        : clusters_(clusters), bytes_(clusters * kCluster) {
        ByteVector& b = bytes_;
        b[0] = 0xEB;
        std::memcpy(&b[3], "NTFS    ", 8);
        put16(b, 11, 512);
        b[13] = 8;
        b[21] = 0xF8;
        put64(b, 40, clusters * 8 - 1);
        put64(b, 48, kMftCluster);
        b[64] = 0xF6;
        b[68] = 1;
        b[510] = 0x55;
        b[511] = 0xAA;
        use(0, 32);
        record(0, 1, 1,
               {nonresident_attribute(
                   0x80, encode_runs({{kMftCluster, kMftRecords * kRecord / kCluster}}),
                   kMftRecords * kRecord)});
        record(5, 5, 3, {file_name(reference(5, 5), u".", 3)});
        record(
            6, 6, 1,
            {nonresident_attribute(0x80, encode_runs({{kBitmapCluster, 1}}), (clusters + 7) / 8)});
    }

    // Writes MFT record `number` with the given attributes (in order).
    void record(std::uint32_t number, std::uint16_t sequence, std::uint16_t flags,
                const std::vector<ByteVector>& attributes, std::uint64_t base = 0) {
        ByteVector r(kRecord);
        std::memcpy(r.data(), "FILE", 4);
        put16(r, 4, 48);
        put16(r, 6, kRecord / 512 + 1);
        put16(r, 16, sequence);
        put16(r, 20, 56);
        put16(r, 22, flags);
        put32(r, 28, kRecord);
        put64(r, 32, base);
        put32(r, 44, number);
        std::size_t at = 56;
        for (const ByteVector& a : attributes) {
            std::copy(a.begin(), a.end(), r.begin() + at);
            at += a.size();
        }
        put32(r, at, 0xFFFFFFFF);
        put32(r, 24, static_cast<std::uint32_t>(at + 8));
        records_[number] = r;
    }

    // Raw record bytes, written as they are (no fixups).
    void raw_record(std::uint32_t number, ByteVector bytes) { raw_[number] = std::move(bytes); }

    void data(std::uint64_t cluster, const ByteVector& content) {
        std::copy(content.begin(), content.end(), bytes_.begin() + cluster * kCluster);
    }
    void use(std::uint64_t first, std::uint64_t count) {
        for (std::uint64_t c = first; c < first + count; ++c) used_.push_back(c);
    }

    ByteVector bytes() const {
        ByteVector b = bytes_;
        for (std::uint64_t c : used_)
            b[kBitmapCluster * kCluster + c / 8] |= static_cast<std::uint8_t>(1u << (c % 8));
        for (auto [number, r] : records_) {
            put16(r, 48, check_word);
            for (std::uint32_t k = 1; k <= kRecord / 512; ++k) {
                put16(r, 48 + 2 * k,
                      static_cast<std::uint16_t>(r[k * 512 - 2] | r[k * 512 - 1] << 8));
                put16(r, k * 512 - 2, check_word);
            }
            std::copy(r.begin(), r.end(), b.begin() + kMftCluster * kCluster + number * kRecord);
        }
        for (const auto& [number, r] : raw_) {
            std::copy(r.begin(), r.end(), b.begin() + kMftCluster * kCluster + number * kRecord);
        }
        return b;
    }

  private:
    std::uint64_t clusters_;
    ByteVector bytes_;
    std::map<std::uint32_t, ByteVector> records_;
    std::map<std::uint32_t, ByteVector> raw_;
    std::vector<std::uint64_t> used_;
};

// ---------------------------------------------------------------------------- FAT

struct DosStamp {
    std::uint16_t time = 0x6A55;  // 13:18:42
    std::uint16_t date = 0x3A84;  // 2009-04-04
};

inline ByteVector short_entry(const std::string& name11, std::uint8_t attributes,
                              std::uint32_t first_cluster, std::uint32_t size,
                              DosStamp stamp = {}) {
    ByteVector e(32, 0);
    std::memcpy(e.data(), name11.data(), 11);
    e[11] = attributes;
    put16(e, 20, static_cast<std::uint16_t>(first_cluster >> 16));
    put16(e, 22, stamp.time);
    put16(e, 24, stamp.date);
    put16(e, 26, static_cast<std::uint16_t>(first_cluster));
    put32(e, 28, size);
    return e;
}

// The long-name entries for `name` in on-disk order (last part first).
inline std::vector<ByteVector> long_name_entries(const std::u16string& name) {
    static constexpr int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::u16string padded = name;
    if (padded.size() % 13) padded += u'\0';
    while (padded.size() % 13) padded += u'\xFFFF';
    const std::size_t parts = padded.size() / 13;
    std::vector<ByteVector> out;
    for (std::size_t p = parts; p-- > 0;) {
        ByteVector e(32, 0);
        e[0] = static_cast<std::uint8_t>((p + 1) | (p + 1 == parts ? 0x40 : 0));
        e[11] = 0x0F;
        for (int i = 0; i < 13; ++i) put16(e, kOffsets[i], padded[p * 13 + i]);
        out.push_back(e);
    }
    return out;
}

// A FAT volume of 512-byte sectors: FAT16 with 512 root entries or FAT32 with its root
// at cluster 2. Folders are lists of 32-byte entries placed at clusters.
class FatImage {
  public:
    FatImage(bool fat32, std::uint32_t clusters, std::uint32_t sectors_per_cluster = 1)
        : fat32_(fat32), spc_(sectors_per_cluster) {
        reserved_ = fat32 ? 32 : 4;
        root_entries_ = fat32 ? 0 : 512;
        const std::uint32_t width = fat32 ? 4 : 2;
        fat_sectors_ = ((clusters + 2) * width + 511) / 512;
        const std::uint32_t root_sectors = root_entries_ * 32 / 512;
        first_data_ = reserved_ + 2 * fat_sectors_ + root_sectors;
        total_ = first_data_ + clusters * spc_;
        bytes_.assign(std::uint64_t{total_} * 512, 0);
        ByteVector& b = bytes_;
        b[0] = 0xEB;
        put16(b, 11, 512);
        b[13] = static_cast<std::uint8_t>(spc_);
        put16(b, 14, static_cast<std::uint16_t>(reserved_));
        b[16] = 2;
        put16(b, 17, static_cast<std::uint16_t>(root_entries_));
        b[21] = 0xF8;
        if (fat32) {
            put32(b, 32, total_);
            put32(b, 36, fat_sectors_);
            put32(b, 44, 2);
        } else {
            if (total_ < 65536) {
                put16(b, 19, static_cast<std::uint16_t>(total_));
            } else {
                put32(b, 32, total_);
            }
            put16(b, 22, static_cast<std::uint16_t>(fat_sectors_));
        }
        b[510] = 0x55;
        b[511] = 0xAA;
        fat(0, fat32 ? 0x0FFFFFF8 : 0xFFF8);
        fat(1, fat32 ? 0x0FFFFFFF : 0xFFFF);
        if (fat32) fat(2, 0x0FFFFFFF);
    }

    std::uint32_t cluster_bytes() const { return 512 * spc_; }
    std::uint64_t cluster_offset(std::uint32_t c) const {
        return (std::uint64_t{c - 2} * spc_ + first_data_) * 512;
    }
    std::uint64_t root_offset() const {
        return fat32_ ? cluster_offset(2) : std::uint64_t{reserved_ + 2 * fat_sectors_} * 512;
    }

    void fat(std::uint32_t cluster, std::uint32_t value) {
        for (int copy = 0; copy < 2; ++copy) {
            const std::uint64_t at = (std::uint64_t{reserved_} + copy * fat_sectors_) * 512;
            if (fat32_) {
                put32(bytes_, at + 4 * cluster, value);
            } else {
                put16(bytes_, at + 2 * cluster, static_cast<std::uint16_t>(value));
            }
        }
    }
    // Links the clusters in order and ends the chain.
    void chain(const std::vector<std::uint32_t>& clusters) {
        for (std::size_t i = 0; i < clusters.size(); ++i) {
            fat(clusters[i],
                i + 1 < clusters.size() ? clusters[i + 1] : (fat32_ ? 0x0FFFFFFF : 0xFFFF));
        }
    }

    // Writes entries one after another from `offset`.
    void entries(std::uint64_t offset, const std::vector<ByteVector>& list) {
        for (const ByteVector& e : list) {
            std::copy(e.begin(), e.end(), bytes_.begin() + offset);
            offset += 32;
        }
    }
    // A folder at `cluster` (one cluster) that starts with "." and "..".
    void folder(std::uint32_t cluster, std::uint32_t parent, std::vector<ByteVector> list,
                bool link = true) {
        list.insert(list.begin(), {short_entry(".          ", 0x10, cluster, 0),
                                   short_entry("..         ", 0x10, parent, 0)});
        entries(cluster_offset(cluster), list);
        if (link) chain({cluster});
    }
    void data(std::uint32_t cluster, const ByteVector& content) {
        std::copy(content.begin(), content.end(), bytes_.begin() + cluster_offset(cluster));
    }

    ByteVector& bytes() { return bytes_; }

  private:
    bool fat32_;
    std::uint32_t spc_, reserved_, root_entries_, fat_sectors_, first_data_, total_;
    ByteVector bytes_;
};

inline ByteVector pattern(std::size_t size, std::uint8_t seed) {
    ByteVector v(size);
    for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return v;
}

}  // namespace volscan::testing
