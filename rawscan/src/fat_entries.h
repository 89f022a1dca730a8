// FAT32 evidence the raw engine weighs: FAT signatures, plausible directory
// entries, names, and the cluster sizes a partition of a given size would use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tobrin/platform/bytes.h"

namespace rawscan::fat32 {

inline constexpr std::uint64_t kEntrySize = 32;

// Directory entry.
namespace entry {
inline constexpr std::uint64_t kName = 0;             // 8 + 3 bytes
inline constexpr std::uint64_t kAttribute = 11;       // u8
inline constexpr std::uint64_t kCreationTenths = 13;  // u8
inline constexpr std::uint64_t kCreationTime = 14;    // u16
inline constexpr std::uint64_t kCreationDate = 16;    // u16
inline constexpr std::uint64_t kAccessDate = 18;      // u16
inline constexpr std::uint64_t kClusterHigh = 20;     // u16
inline constexpr std::uint64_t kWriteTime = 22;       // u16
inline constexpr std::uint64_t kWriteDate = 24;       // u16
inline constexpr std::uint64_t kClusterLow = 26;      // u16; the long-name entries' cluster word
inline constexpr std::uint64_t kSize = 28;            // u32
}  // namespace entry

inline constexpr std::uint8_t kDeletedMark = 0xE5;
inline constexpr std::uint8_t kLongNameAttribute = 0x0F;
inline constexpr std::uint8_t kMaxLongNameEntries = 20;
inline constexpr std::size_t kMaxLongNameChars = 20 * 13;

// "Now" as a DOS stamp (date in the high half), for rejecting entries from the future.
struct DosNow {
    std::uint32_t stamp = 0;
    std::uint32_t year = 0;
};
DosNow dos_now();

// One 32-byte directory entry.
class DirEntry {
  public:
    explicit DirEntry(tobrin::Bytes bytes) : b_(bytes) {}
    std::uint8_t first() const { return b_[0]; }
    std::uint8_t attribute() const { return b_[entry::kAttribute]; }
    bool is_long_name() const { return (attribute() & 0x3F) == kLongNameAttribute; }
    bool is_deleted() const { return first() == kDeletedMark; }
    bool is_dot() const;  // "." or ".."
    std::uint32_t first_cluster() const;
    std::uint32_t size() const { return tobrin::load_le<std::uint32_t>(b_, entry::kSize); }
    std::uint16_t write_time() const {
        return tobrin::load_le<std::uint16_t>(b_, entry::kWriteTime);
    }
    std::uint16_t write_date() const {
        return tobrin::load_le<std::uint16_t>(b_, entry::kWriteDate);
    }
    tobrin::Bytes bytes() const { return b_; }

  private:
    tobrin::Bytes b_;  // exactly kEntrySize bytes
};

bool has_fat_signature(tobrin::Bytes sector);

bool passes_time_test(const DirEntry& e, const DosNow& now);
bool passes_short_entry_test(const DirEntry& e, std::uint64_t partition_sectors, const DosNow& now);
// The first entry of `sectors` (one sector, or two when a long-name run may cross
// into the next) looks like the start of a directory.
bool looks_like_directory(tobrin::Bytes sectors, std::uint64_t partition_sectors,
                          const DosNow& now);
// Whether looks_like_directory needs the sector after this one as well.
bool needs_second_sector(tobrin::Bytes sector);

// The 8.3 name as shown: a deleted entry's first byte as "_", OEM bytes converted.
std::string short_name(const DirEntry& e);

// The long name of the run of long-name entries at `offset` in `directory`, and how
// many entries the run holds. nullopt when the run is longer than 20 entries or the
// short entry after it fails the short-entry test.
struct LongName {
    std::string name;
    std::uint64_t entries = 0;
};
std::optional<LongName> assemble_long_name(tobrin::Bytes directory, std::uint64_t offset,
                                           std::uint64_t partition_sectors, const DosNow& now);
// Consecutive long-name entries from `offset`.
std::uint64_t long_name_run_length(tobrin::Bytes directory, std::uint64_t offset);

// Cluster size a partition of `length` bytes would get when formatted; 0 for none.
std::uint64_t default_cluster_size(std::uint64_t length);
// Sectors per cluster from the number of sectors one FAT sector describes; 0 for none.
std::uint64_t corrected_sectors_per_cluster(double estimate);

}  // namespace rawscan::fat32
