// NTFS file records: fixups, the attribute chain, and the parts the raw engine
// takes from a record. Everything works on one record's bytes and never reads
// outside them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tobrin/platform/bytes.h"
#include "tobrin/platform/ntfs.h"

namespace rawscan::ntfs {

// File record header.
namespace header {
inline constexpr std::uint64_t kUsaOffset = 4;        // u16
inline constexpr std::uint64_t kUsaCount = 6;         // u16
inline constexpr std::uint64_t kSequence = 16;        // u16
inline constexpr std::uint64_t kFirstAttribute = 20;  // u16
inline constexpr std::uint64_t kFlags = 22;           // u16: 0x1 in use, 0x2 directory
inline constexpr std::uint64_t kBytesInUse = 24;      // u32
inline constexpr std::uint64_t kAllocated = 28;       // u32
inline constexpr std::uint64_t kBaseRecord = 32;      // u64
inline constexpr std::uint64_t kRecordNumber = 44;    // u32
}  // namespace header

inline constexpr std::uint16_t kRecordInUse = 0x1;
inline constexpr std::uint16_t kRecordIsDirectory = 0x2;
inline constexpr std::uint64_t kRootFolder = 5;

inline constexpr std::uint32_t kStandardInformation = 0x10;
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kIndexRoot = 0x90;

// The 48-bit record number of a file reference.
constexpr std::uint64_t record_of(std::uint64_t reference) {
    return reference & 0xFFFFFFFFFFFFull;
}
constexpr std::uint16_t sequence_of(std::uint64_t reference) {
    return static_cast<std::uint16_t>(reference >> 48);
}

bool has_file_magic(tobrin::Bytes record);

// Checks every stride of the update sequence before restoring any; false leaves the
// record as it was.
bool apply_fixup(tobrin::MutableBytes record);

// One attribute of a record, bounded by its own length.
class Attribute {
  public:
    explicit Attribute(tobrin::Bytes bytes) : bytes_(bytes) {}
    std::uint32_t type() const { return tobrin::load_le<std::uint32_t>(bytes_, 0); }
    bool resident() const { return tobrin::load_le<std::uint8_t>(bytes_, 8) == 0; }
    bool named() const { return tobrin::load_le<std::uint8_t>(bytes_, 9) != 0; }
    // The resident value; nullopt when it is non-resident or runs past the attribute.
    std::optional<tobrin::Bytes> value() const;
    // Non-resident fields.
    std::uint64_t first_vcn() const { return tobrin::load_le<std::uint64_t>(bytes_, 16); }
    std::uint64_t last_vcn() const { return tobrin::load_le<std::uint64_t>(bytes_, 24); }
    std::uint64_t allocated_size() const { return tobrin::load_le<std::uint64_t>(bytes_, 40); }
    std::uint64_t data_size() const { return tobrin::load_le<std::uint64_t>(bytes_, 48); }
    // The mapping pairs up to the end of the attribute; nullopt when their offset is outside.
    std::optional<tobrin::Bytes> mapping_pairs() const;
    tobrin::Bytes bytes() const { return bytes_; }

  private:
    tobrin::Bytes bytes_;
};

// The attributes from the first-attribute offset on. `ended()` tells whether the walk
// met the end marker rather than a broken or truncated attribute.
class AttributeWalk {
  public:
    explicit AttributeWalk(tobrin::Bytes record);
    std::optional<Attribute> next();
    bool ended() const { return ended_; }

  private:
    tobrin::Bytes record_;
    std::uint64_t offset_;
    bool ended_ = false;
    bool stopped_ = false;
};

// The file name attribute's value.
struct FileName {
    std::uint64_t parent = 0;
    std::uint64_t creation = 0, modification = 0, mft_change = 0, access = 0;
    std::uint32_t flags = 0;
    std::uint8_t name_space = 0;  // 2: the DOS short name
    std::u16string name;
};
std::optional<FileName> parse_file_name(tobrin::Bytes value);

// The name locating uses: the first resident non-DOS file name; nullopt without one,
// or when the chain does not reach its end marker.
std::optional<std::u16string> record_name(tobrin::Bytes record);

// A file's data: where its resident value lies in its record, or the absolute runs.
// A scan keeps no copy of the small files' contents: extraction reads the record again.
struct DataRuns {
    bool resident = false;
    std::uint64_t value_offset = 0, value_length = 0;  // in the record
    std::vector<tobrin::NtfsRun> runs;
    std::uint64_t cluster_total() const;  // saturating
};
// `data` is an attribute of `record`.
std::optional<DataRuns> decode_data(tobrin::Bytes record, const Attribute& data);
// The resident value of `data` in the record it was decoded from; nullopt when the
// record is too short to hold it.
std::optional<tobrin::Bytes> resident_value(tobrin::Bytes record, const DataRuns& data);

// What the check of $MFT, $MFTMirr and the mirrored $MFT yields.
struct SystemRecord {
    std::uint32_t allocated_size = 0;        // of the record
    std::uint64_t implied_cluster_size = 0;  // 0 when not a multiple of 512
    std::optional<DataRuns> data;            // nullopt when absent or undecodable
};
std::optional<SystemRecord> check_system_record(tobrin::Bytes record,
                                                std::uint64_t partition_length, bool windows2000);

struct NtfsFileEntry {
    std::u16string name;
    std::uint32_t flags = 0;  // 0x1: deleted
    DataRuns data;
    std::uint64_t record_sector = 0;  // partition-relative, where the walk read the record
    std::uint16_t sequence = 0;       // of the record, to know it again
    std::uint64_t parent = 0;
    std::uint64_t creation = 0, modification = 0, mft_change = 0, access = 0;
    std::uint64_t size = 0;
};

struct NtfsFolderEntry {
    std::u16string name;
    std::uint64_t number = 0;
    std::uint64_t parent = 0;
    std::uint16_t sequence = 0;
    bool in_use = false;
};

// A base record of a plain, uncompressed file with a name and an unnamed data stream.
std::optional<NtfsFileEntry> parse_file_record(tobrin::Bytes record, std::uint64_t cluster_size);
// A base record of a folder with an index root.
std::optional<NtfsFolderEntry> parse_folder_record(tobrin::Bytes record);

}  // namespace rawscan::ntfs
