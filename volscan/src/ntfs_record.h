// MFT records: update-sequence fixups, the attribute walk and the values the scanner
// takes from $STANDARD_INFORMATION, $FILE_NAME and $DATA.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "context.h"
#include "outcome.h"
#include "tobrin/platform/bytes.h"

namespace volscan {

// Verifies the signature "FILE" and every block's check word, then writes the saved
// words back. Nothing is changed when a check fails.
bool apply_fixups(tobrin::MutableBytes record);

enum AttributeType : std::uint32_t {
    kStandardInformation = 0x10,
    kAttributeList = 0x20,
    kFileName = 0x30,
    kData = 0x80,
};

struct Attribute {
    std::uint32_t type = 0;
    bool resident = true;
    tobrin::Bytes value;          // resident: the value
    tobrin::Bytes run_list;       // non-resident: mapping pairs up to the attribute's end
    std::uint64_t data_size = 0;  // non-resident: real size
};

// Header: signature @0, update-sequence offset u16 @4 and count u16 @6, sequence u16
// @16, first attribute u16 @20, flags u16 @22, allocated size u32 @28, base reference
// u64 @32, record number u32 @44.
struct MftRecord {
    std::uint16_t sequence = 0;
    std::uint16_t flags = 0;
    std::uint64_t base_reference = 0;
    std::uint32_t number = 0;
    std::vector<Attribute> attributes;

    bool in_use() const { return flags & 1; }
    bool is_folder() const { return flags & 2; }
};

// Walks the attributes of a fixed-up record. Every attribute must lie inside the
// record's allocated size and every value inside its attribute; otherwise the record
// is corrupt.
Expected<MftRecord> parse_record(tobrin::Bytes record);

// $FILE_NAME value: parent reference u64 @0, times u64 @8/16/24/32, real size u64 @48,
// name length u8 @64, namespace u8 @65, UTF-16 name @66.
struct FileName {
    std::uint32_t parent = 0;
    std::uint16_t parent_sequence = 0;
    NtfsTimes times;
    std::uint64_t size = 0;
    bool dos_only = false;  // namespace 2: the 8.3 alias
    std::u16string name;
};
Expected<FileName> parse_file_name(tobrin::Bytes value);

// Extension records, attribute lists and sparse, reparse, compressed, offline or
// non-indexed files are left out of the scan.
bool is_skipped(const MftRecord& record);

struct FileData {
    DataKind kind = DataKind::resident;
    std::vector<std::uint8_t> resident;
    std::vector<tobrin::NtfsRun> runs;
    std::uint64_t size = 0;
};
// The first $DATA attribute of the record: its resident bytes or its runs, which must
// lie on a volume of `cluster_count` clusters and together not exceed it. Without a $DATA
// attribute: none. A run list that does not decode yields resident kind, no bytes, and the size.
std::optional<FileData> decode_data(const MftRecord& record, std::uint64_t cluster_count);

}  // namespace volscan
