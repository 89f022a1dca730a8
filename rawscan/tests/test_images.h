// Small synthetic disks for the raw engine's tests: NTFS records and partitions,
// FAT32 partitions, and the callbacks that collect what the engines report.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tobrin/platform/device.h"
#include "tobrin/platform/machine.h"
#include "tobrin/platform/system.h"

namespace rawscan::testing {

inline void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint64_t reference(std::uint64_t record, std::uint16_t sequence) {
    return record | (std::uint64_t{sequence} << 48);
}

// One MFT record (1024 bytes unless told), attributes appended in order.
class RecordBuilder {
  public:
    RecordBuilder(std::uint32_t number, std::uint16_t flags, std::uint16_t sequence = 1,
                  std::size_t size = 1024)
        : r_(size, 0), strides_(size / 512) {
        std::memcpy(r_.data(), "FILE", 4);
        put16(r_, 4, 0x30);  // update sequence array
        put16(r_, 6, static_cast<std::uint16_t>(strides_ + 1));
        put16(r_, 16, sequence);
        at_ = (0x30 + 2 * (strides_ + 1) + 7) / 8 * 8;
        put16(r_, 20, static_cast<std::uint16_t>(at_));
        put16(r_, 22, flags);
        put32(r_, 28, static_cast<std::uint32_t>(size));
        put32(r_, 44, number);
    }

    RecordBuilder& standard_information(std::uint32_t attributes) {
        std::vector<std::uint8_t> v(72, 0);
        put32(v, 32, attributes);
        return resident(0x10, v);
    }

    RecordBuilder& file_name(std::uint64_t parent, const std::u16string& name,
                             std::uint8_t name_space = 1, std::uint32_t flags = 0,
                             std::uint64_t mft_change = 0x01D0000000000000ull) {
        std::vector<std::uint8_t> v(66 + 2 * name.size(), 0);
        put64(v, 0, parent);
        for (std::size_t t = 8; t <= 32; t += 8) put64(v, t, mft_change);
        put32(v, 56, flags);
        v[64] = static_cast<std::uint8_t>(name.size());
        v[65] = name_space;
        for (std::size_t i = 0; i < name.size(); ++i) put16(v, 66 + 2 * i, name[i]);
        return resident(0x30, v);
    }

    RecordBuilder& index_root() { return resident(0x90, std::vector<std::uint8_t>(48, 0)); }

    RecordBuilder& resident(std::uint32_t type, const std::vector<std::uint8_t>& value,
                            std::uint8_t name_length = 0) {
        const std::size_t length = (0x18 + value.size() + 2 * name_length + 7) / 8 * 8;
        put32(r_, at_, type);
        put32(r_, at_ + 4, static_cast<std::uint32_t>(length));
        r_[at_ + 9] = name_length;
        put32(r_, at_ + 16, static_cast<std::uint32_t>(value.size()));
        put16(r_, at_ + 20, static_cast<std::uint16_t>(0x18 + 2 * name_length));
        std::copy(value.begin(), value.end(), r_.begin() + at_ + 0x18 + 2 * name_length);
        at_ += length;
        return *this;
    }

    // A non-resident data attribute over `runs` (mapping pairs, 0-terminated).
    RecordBuilder& non_resident(std::uint32_t type, const std::vector<std::uint8_t>& runs,
                                std::uint64_t clusters, std::uint64_t cluster_size,
                                std::uint64_t size) {
        const std::size_t length = (0x40 + runs.size() + 7) / 8 * 8;
        put32(r_, at_, type);
        put32(r_, at_ + 4, static_cast<std::uint32_t>(length));
        r_[at_ + 8] = 1;
        put64(r_, at_ + 24, clusters - 1);
        put16(r_, at_ + 32, 0x40);
        put64(r_, at_ + 40, clusters * cluster_size);
        put64(r_, at_ + 48, size);
        put64(r_, at_ + 56, size);
        std::copy(runs.begin(), runs.end(), r_.begin() + at_ + 0x40);
        at_ += length;
        return *this;
    }

    // Ends the chain and protects every stride with the update sequence.
    std::vector<std::uint8_t> build() const {
        std::vector<std::uint8_t> r = r_;
        put32(r, at_, 0xFFFFFFFF);
        put32(r, 24, static_cast<std::uint32_t>(at_ + 8));
        put16(r, 0x30, 0x0101);
        for (std::size_t k = 0; k < strides_; ++k) {
            r[0x32 + 2 * k] = r[510 + 512 * k];
            r[0x33 + 2 * k] = r[511 + 512 * k];
            put16(r, 510 + 512 * k, 0x0101);
        }
        return r;
    }

  private:
    std::vector<std::uint8_t> r_;
    std::size_t strides_;
    std::size_t at_;
};

// A 2 MiB NTFS partition with one sector per cluster: boot sectors, an MFT of 64
// records 32 KiB in, and the root folder (record 5). Records are 1024 bytes, or one
// sector on disks with larger sectors.
class NtfsImage {
  public:
    static constexpr std::uint64_t kBytes = 2 << 20;
    static constexpr std::uint64_t kMftByte = 32 * 1024;
    static constexpr std::uint64_t kRecords = 64;

    explicit NtfsImage(std::uint32_t sector_size = 512)
        : sector_size_(sector_size),
          record_size_(std::max<std::uint32_t>(1024, sector_size)),
          bytes_(kBytes, 0) {
        boot(0);
        boot(sectors() - 1);
        const std::uint64_t clusters = kRecords * record_size_ / sector_size_;
        const std::uint64_t first = kMftByte / sector_size_;
        record(0, builder(0, 1, 1)
                      .standard_information(0x6)
                      .file_name(reference(5, 5), u"$MFT", 3, 0x6)
                      .non_resident(0x80,
                                    {0x22, static_cast<std::uint8_t>(clusters),
                                     static_cast<std::uint8_t>(clusters >> 8),
                                     static_cast<std::uint8_t>(first),
                                     static_cast<std::uint8_t>(first >> 8), 0x00},
                                    clusters, sector_size_, kRecords * record_size_)
                      .build());
        record(5, builder(5, 3, 5)
                      .standard_information(0x6)
                      .file_name(reference(5, 5), u".", 3, 0x10000006)
                      .index_root()
                      .build());
    }

    std::uint64_t sectors() const { return kBytes / sector_size_; }
    std::uint32_t sector_size() const { return sector_size_; }
    std::uint32_t record_size() const { return record_size_; }
    RecordBuilder builder(std::uint32_t number, std::uint16_t flags,
                          std::uint16_t sequence = 1) const {
        return RecordBuilder(number, flags, sequence, record_size_);
    }

    void record(std::uint64_t number, const std::vector<std::uint8_t>& r) {
        std::copy(r.begin(), r.end(), bytes_.begin() + kMftByte + number * record_size_);
    }
    void folder(std::uint32_t number, std::uint64_t parent, const std::u16string& name,
                std::uint16_t sequence = 1, bool in_use = true) {
        record(number, builder(number, in_use ? 3 : 2, sequence)
                           .standard_information(0x10)
                           .file_name(parent, name, 1, 0x10000000)
                           .index_root()
                           .build());
    }
    void file(std::uint32_t number, std::uint64_t parent, const std::u16string& name,
              const std::string& contents, bool in_use = true) {
        record(number,
               builder(number, in_use ? 1 : 0)
                   .standard_information(0x20)
                   .file_name(parent, name)
                   .resident(0x80, std::vector<std::uint8_t>(contents.begin(), contents.end()))
                   .build());
    }
    // Fills cluster `cluster` (one sector) with `byte`.
    void fill_cluster(std::uint64_t cluster, std::uint8_t byte) {
        std::fill_n(bytes_.begin() + cluster * sector_size_, sector_size_, byte);
    }
    void zero_sector(std::uint64_t sector) {
        std::fill_n(bytes_.begin() + sector * sector_size_, sector_size_, 0);
    }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    void boot(std::uint64_t sector) {
        std::uint8_t* s = bytes_.data() + sector * sector_size_;
        s[0] = 0xEB;
        std::memcpy(s + 3, "NTFS    ", 8);
        s[12] = static_cast<std::uint8_t>(sector_size_ / 256);
        s[13] = 1;
        s[21] = 0xF8;
        const std::uint64_t total = sectors() - 1;
        const std::uint64_t mft = kMftByte / sector_size_;
        const std::uint64_t mirror = mft + kRecords * record_size_ / sector_size_;
        for (int i = 0; i < 8; ++i) {
            s[40 + i] = static_cast<std::uint8_t>(total >> (8 * i));
            s[48 + i] = static_cast<std::uint8_t>(mft >> (8 * i));
            s[56 + i] = static_cast<std::uint8_t>(mirror >> (8 * i));
        }
        s[64] = static_cast<std::uint8_t>(-std::countr_zero(record_size_));  // 2^-n bytes
        s[68] = 1;
        s[510] = 0x55;
        s[511] = 0xAA;
    }
    std::uint32_t sector_size_;
    std::uint32_t record_size_;
    std::vector<std::uint8_t> bytes_;
};

// A FAT32 partition of 40 MiB with one sector per cluster, two FATs, root at cluster 2.
class FatImage {
  public:
    static constexpr std::uint32_t kSectors = 40 * 2048;
    static constexpr std::uint32_t kReserved = 32;
    static constexpr std::uint32_t kFatSize = 640;
    static constexpr std::uint32_t kDataStart = kReserved + 2 * kFatSize;
    static constexpr std::uint32_t kFat2 = kReserved + kFatSize;

    FatImage() : bytes_(std::uint64_t{kSectors} * 512, 0) {
        boot(0);
        boot(6);
        for (std::uint32_t fat = 0; fat < 2; ++fat) {
            const std::uint64_t at = (kReserved + fat * kFatSize) * 512ull;
            put32(bytes_, at, 0x0FFFFFF8);
            put32(bytes_, at + 4, 0x0FFFFFFF);
        }
        link(2, 0x0FFFFFFF);
    }

    // Sets the FAT entry of `cluster` in both copies.
    void link(std::uint32_t cluster, std::uint32_t next) {
        for (std::uint32_t fat = 0; fat < 2; ++fat) {
            put32(bytes_, (kReserved + fat * kFatSize) * 512ull + 4ull * cluster, next);
        }
    }
    void chain(std::uint32_t first, std::uint32_t count) {
        for (std::uint32_t c = first; c + 1 < first + count; ++c) link(c, c + 1);
        link(first + count - 1, 0x0FFFFFFF);
    }
    std::uint64_t cluster_offset(std::uint32_t cluster) const {
        return (kDataStart + (cluster - 2)) * 512ull;
    }
    // A short entry at slot `slot` of the directory at `dir_cluster`.
    void entry(std::uint32_t dir_cluster, std::uint32_t slot, const char (&name11)[12],
               std::uint8_t attribute, std::uint32_t first_cluster, std::uint32_t size,
               std::uint16_t date = 0x3883, std::uint16_t time = 0x51F2) {
        const std::uint64_t at = cluster_offset(dir_cluster) + 32ull * slot;
        std::memcpy(bytes_.data() + at, name11, 11);
        bytes_[at + 11] = attribute;
        put16(bytes_, at + 20, static_cast<std::uint16_t>(first_cluster >> 16));
        put16(bytes_, at + 22, time);
        put16(bytes_, at + 24, date);
        put16(bytes_, at + 26, static_cast<std::uint16_t>(first_cluster));
        put32(bytes_, at + 28, size);
    }
    // "." and ".." at the start of a folder cluster.
    void dots(std::uint32_t cluster, std::uint32_t parent) {
        entry(cluster, 0, ".          ", 0x10, cluster, 0);
        entry(cluster, 1, "..         ", 0x10, parent, 0);
    }
    // Long-name entries for `name` in slots slot.. slot+n-1; returns n.
    std::uint32_t long_name(std::uint32_t dir_cluster, std::uint32_t slot,
                            const std::u16string& name, bool deleted = false) {
        static constexpr int kChars[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        const auto n = static_cast<std::uint32_t>((name.size() + 12) / 13);
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t part = n - k;  // stored last part first
            const std::uint64_t at = cluster_offset(dir_cluster) + 32ull * (slot + k);
            bytes_[at] = deleted ? 0xE5 : static_cast<std::uint8_t>(part | (k == 0 ? 0x40 : 0));
            bytes_[at + 11] = 0x0F;
            for (int c = 0; c < 13; ++c) {
                const std::size_t i = (part - 1) * 13 + c;
                const std::uint16_t ch = i < name.size() ? name[i] : i == name.size() ? 0 : 0xFFFF;
                put16(bytes_, at + kChars[c], ch);
            }
        }
        return n;
    }
    void fill_cluster(std::uint32_t cluster, const std::string& text) {
        std::copy(text.begin(), text.end(), bytes_.begin() + cluster_offset(cluster));
    }
    void zero_sector(std::uint64_t sector) { std::fill_n(bytes_.begin() + sector * 512, 512, 0); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    void boot(std::uint64_t sector) {
        const std::uint64_t at = sector * 512;
        bytes_[at] = 0xEB;
        put16(bytes_, at + 11, 512);
        bytes_[at + 13] = 1;
        put16(bytes_, at + 14, kReserved);
        bytes_[at + 16] = 2;
        bytes_[at + 21] = 0xF8;
        put32(bytes_, at + 32, kSectors);
        put32(bytes_, at + 36, kFatSize);
        put32(bytes_, at + 44, 2);
        bytes_[at + 510] = 0x55;
        bytes_[at + 511] = 0xAA;
    }
    std::vector<std::uint8_t> bytes_;
};

// An MBR disk holding `partition` at LBA 2048 with the given type byte.
inline std::vector<std::uint8_t> mbr_disk(const std::vector<std::uint8_t>& partition,
                                          std::uint8_t type) {
    std::vector<std::uint8_t> disk(2048 * 512 + partition.size(), 0);
    disk[446 + 4] = type;
    put32(disk, 446 + 8, 2048);
    put32(disk, 446 + 12, static_cast<std::uint32_t>(partition.size() / 512));
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::copy(partition.begin(), partition.end(), disk.begin() + 2048 * 512);
    return disk;
}

inline tobrin::platform::DiskSource memory_disk(std::vector<std::uint8_t> bytes,
                                                std::optional<bool> removable = std::nullopt,
                                                std::uint32_t sector_size = 512) {
    tobrin::platform::DiskSource source;
    source.path = "memory";
    source.sector_size = sector_size;
    source.device = std::make_shared<tobrin::platform::MemoryDevice>(std::move(bytes));
    source.removable = removable;
    return source;
}

// What the callbacks received.
inline std::vector<std::string>& lines() {
    static std::vector<std::string> collected;
    return collected;
}
inline std::string& partition_list() {
    static std::string list;
    return list;
}
inline void keep_list(const char* list) {
    partition_list() = list;
}
inline int keep_line(const char* line) {
    lines().push_back(line);
    return 1;
}
inline int stop_at_first_line(const char* line) {
    lines().push_back(line);
    return 0;
}

}  // namespace rawscan::testing
