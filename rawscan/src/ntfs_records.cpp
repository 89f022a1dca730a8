#include "ntfs_records.h"

#include <cstring>
#include <limits>

namespace rawscan::ntfs {
namespace {

using tobrin::Bytes;
using tobrin::fits;
using tobrin::load_le;

constexpr std::uint64_t kStride = 512;
constexpr std::uint32_t kEndMarker = 0xFFFFFFFF;
constexpr std::uint32_t kHiddenSystem = 0x2 | 0x4;
// Sparse, reparse point, compressed, offline, not content indexed.
constexpr std::uint32_t kUnreadableAttributes = 0x200 | 0x400 | 0x800 | 0x1000 | 0x2000;
constexpr std::uint32_t kFileNameIsDirectory = 0x10000000;

// File name attribute value.
constexpr std::uint64_t kFnParent = 0;
constexpr std::uint64_t kFnCreation = 8;
constexpr std::uint64_t kFnModification = 16;
constexpr std::uint64_t kFnMftChange = 24;
constexpr std::uint64_t kFnAccess = 32;
constexpr std::uint64_t kFnAllocated = 40;
constexpr std::uint64_t kFnFlags = 56;
constexpr std::uint64_t kFnNameLength = 64;
constexpr std::uint64_t kFnNameSpace = 65;
constexpr std::uint64_t kFnName = 66;

constexpr std::uint64_t kSiFileAttributes = 32;

std::uint32_t standard_information_attributes(const Attribute& a) {
    const auto value = a.value();
    return value ? load_le<std::uint32_t>(*value, kSiFileAttributes) : 0;
}

}  // namespace

bool has_file_magic(Bytes record) {
    return fits(record, 0, 4) && std::memcmp(record.data(), "FILE", 4) == 0;
}

bool apply_fixup(tobrin::MutableBytes record) {
    const std::uint64_t offset = load_le<std::uint16_t>(record, header::kUsaOffset);
    const std::uint64_t count = load_le<std::uint16_t>(record, header::kUsaCount);
    if (offset % 2 != 0 || count == 0) return false;
    const std::uint64_t strides = count - 1;
    if (!fits(record, offset, 2 * count) || record.size() / kStride != strides ||
        record.size() % kStride != 0) {
        return false;
    }
    const std::uint16_t check = load_le<std::uint16_t>(record, offset);
    for (std::uint64_t k = 0; k < strides; ++k) {
        if (load_le<std::uint16_t>(record, kStride * k + kStride - 2) != check) return false;
    }
    for (std::uint64_t k = 0; k < strides; ++k) {
        tobrin::store_le16(record, kStride * k + kStride - 2,
                           load_le<std::uint16_t>(record, offset + 2 * (k + 1)));
    }
    return true;
}

std::optional<Bytes> Attribute::value() const {
    if (!resident()) return std::nullopt;
    const std::uint64_t length = load_le<std::uint32_t>(bytes_, 16);
    const std::uint64_t offset = load_le<std::uint16_t>(bytes_, 20);
    if (!fits(bytes_, 16, 8) || !fits(bytes_, offset, length)) return std::nullopt;
    return bytes_.subspan(offset, length);
}

std::optional<Bytes> Attribute::mapping_pairs() const {
    if (resident() || !fits(bytes_, 32, 2)) return std::nullopt;
    const std::uint64_t offset = load_le<std::uint16_t>(bytes_, 32);
    if (offset >= bytes_.size()) return std::nullopt;
    return bytes_.subspan(offset);
}

AttributeWalk::AttributeWalk(Bytes record)
    : record_(record), offset_(load_le<std::uint16_t>(record, header::kFirstAttribute)) {}

std::optional<Attribute> AttributeWalk::next() {
    if (stopped_) return std::nullopt;
    stopped_ = true;
    if (!fits(record_, offset_, 4)) return std::nullopt;
    if (load_le<std::uint32_t>(record_, offset_) == kEndMarker) {
        ended_ = true;
        return std::nullopt;
    }
    const std::uint64_t length = load_le<std::uint32_t>(record_, offset_ + 4);
    if (!fits(record_, offset_, 8) || length < 8 || !fits(record_, offset_, length)) {
        return std::nullopt;
    }
    Attribute attribute(record_.subspan(offset_, length));
    offset_ += length;
    stopped_ = false;
    return attribute;
}

std::optional<FileName> parse_file_name(Bytes value) {
    if (!fits(value, 0, kFnName)) return std::nullopt;
    FileName fn;
    fn.parent = load_le<std::uint64_t>(value, kFnParent);
    fn.creation = load_le<std::uint64_t>(value, kFnCreation);
    fn.modification = load_le<std::uint64_t>(value, kFnModification);
    fn.mft_change = load_le<std::uint64_t>(value, kFnMftChange);
    fn.access = load_le<std::uint64_t>(value, kFnAccess);
    fn.flags = load_le<std::uint32_t>(value, kFnFlags);
    fn.name_space = value[kFnNameSpace];
    const std::uint64_t length = value[kFnNameLength];
    if (!fits(value, kFnName, 2 * length)) return std::nullopt;
    fn.name.resize(length);
    for (std::uint64_t i = 0; i < length; ++i) {
        fn.name[i] = static_cast<char16_t>(load_le<std::uint16_t>(value, kFnName + 2 * i));
    }
    return fn;
}

std::optional<std::u16string> record_name(Bytes record) {
    AttributeWalk walk(record);
    std::optional<std::u16string> name;
    while (const auto a = walk.next()) {
        if (name || a->type() != kFileName) continue;
        if (!a->resident()) return std::nullopt;
        const auto value = a->value();
        const auto fn = value ? parse_file_name(*value) : std::nullopt;
        if (fn && fn->name_space != 2) name = fn->name;
    }
    if (!walk.ended()) return std::nullopt;
    return name;
}

std::uint64_t DataRuns::cluster_total() const {
    std::uint64_t total = 0;
    for (const tobrin::NtfsRun& run : runs) {
        const auto count = static_cast<std::uint64_t>(run.cluster_count);
        total = count > std::numeric_limits<std::uint64_t>::max() - total
                    ? std::numeric_limits<std::uint64_t>::max()
                    : total + count;
    }
    return total;
}

std::optional<DataRuns> decode_data(Bytes record, const Attribute& data) {
    DataRuns out;
    if (data.resident()) {
        const auto value = data.value();
        if (!value) return std::nullopt;
        out.resident = true;
        out.value_offset = static_cast<std::uint64_t>(value->data() - record.data());
        out.value_length = value->size();
        return out;
    }
    const auto pairs = data.mapping_pairs();
    if (!pairs) return std::nullopt;
    auto runs = tobrin::decode_ntfs_runs(*pairs);
    if (!runs) return std::nullopt;
    out.runs = std::move(*runs);
    return out;
}

std::optional<Bytes> resident_value(Bytes record, const DataRuns& data) {
    if (!data.resident || !fits(record, data.value_offset, data.value_length)) return std::nullopt;
    return record.subspan(data.value_offset, data.value_length);
}

namespace {

bool system_standard_information(const Attribute& a) {
    return a.resident() && !a.named() &&
           (standard_information_attributes(a) & kHiddenSystem) == kHiddenSystem;
}

bool system_file_name(const Attribute& a) {
    if (!a.resident() || a.named()) return false;
    const auto value = a.value();
    if (!value || !fits(*value, 0, kFnFlags + 4)) return false;
    const std::uint64_t parent = load_le<std::uint64_t>(*value, kFnParent);
    return record_of(parent) == kRootFolder &&
           load_le<std::uint64_t>(*value, kFnAllocated) % 512 == 0 &&
           (load_le<std::uint32_t>(*value, kFnFlags) & kHiddenSystem) == kHiddenSystem;
}

// The implied cluster size, or nullopt when the data attribute is not a system one.
std::optional<std::uint64_t> system_data(const Attribute& a, std::uint64_t partition_length) {
    if (a.resident() || a.named() || !fits(a.bytes(), 0, 64)) return std::nullopt;
    const std::uint64_t allocated = a.allocated_size();
    if (allocated > partition_length || allocated % 512 != 0 || a.data_size() > allocated ||
        !a.mapping_pairs() || a.last_vcn() < a.first_vcn()) {
        return std::nullopt;
    }
    const std::uint64_t vcns = a.last_vcn() - a.first_vcn();
    if (vcns == std::numeric_limits<std::uint64_t>::max()) return 0;
    const std::uint64_t implied = allocated / (vcns + 1);
    return implied % 512 == 0 ? implied : 0;
}

}  // namespace

std::optional<SystemRecord> check_system_record(Bytes record, std::uint64_t partition_length,
                                                bool windows2000) {
    const std::uint32_t number = load_le<std::uint32_t>(record, header::kRecordNumber);
    const std::uint32_t allocated = load_le<std::uint32_t>(record, header::kAllocated);
    const bool header_ok = record.size() % 512 == 0 && fits(record, 0, 48) &&
                           (windows2000 ? number == 0 : number <= 1) &&
                           (load_le<std::uint16_t>(record, header::kFlags) & kRecordInUse) &&
                           allocated % 512 == 0 &&
                           load_le<std::uint32_t>(record, header::kBytesInUse) <= allocated &&
                           load_le<std::uint64_t>(record, header::kBaseRecord) == 0;
    if (!header_ok) return std::nullopt;
    SystemRecord out;
    out.allocated_size = allocated;
    AttributeWalk walk(record);
    while (const auto a = walk.next()) {
        switch (a->type()) {
            case kStandardInformation:
                if (!system_standard_information(*a)) return std::nullopt;
                break;
            case kFileName:
                if (!system_file_name(*a)) return std::nullopt;
                break;
            case kData: {
                const auto implied = system_data(*a, partition_length);
                if (!implied) return std::nullopt;
                out.implied_cluster_size = *implied;
                out.data = decode_data(record, *a);
                break;
            }
            default:
                break;
        }
    }
    return out;
}

std::optional<NtfsFileEntry> parse_file_record(Bytes record, std::uint64_t cluster_size) {
    if (load_le<std::uint64_t>(record, header::kBaseRecord) != 0) return std::nullopt;
    NtfsFileEntry entry;
    entry.sequence = load_le<std::uint16_t>(record, header::kSequence);
    bool has_data = false;
    AttributeWalk walk(record);
    while (const auto a = walk.next()) {
        switch (a->type()) {
            case kStandardInformation:
                if (!a->resident() || (standard_information_attributes(*a) & kUnreadableAttributes))
                    return std::nullopt;
                break;
            case kAttributeList:
                return std::nullopt;
            case kFileName: {
                const auto value = a->value();
                auto fn = value ? parse_file_name(*value) : std::nullopt;
                if (!fn) return std::nullopt;
                if (fn->name_space != 2 && entry.name.empty()) {
                    if (fn->name.empty()) return std::nullopt;
                    entry.name = std::move(fn->name);
                }
                entry.parent = fn->parent;
                entry.creation = fn->creation;
                entry.modification = fn->modification;
                entry.mft_change = fn->mft_change;
                entry.access = fn->access;
                if (entry.mft_change == 0) return std::nullopt;
                break;
            }
            case kData: {
                // Named streams are not the file's contents.
                if (a->named()) break;
                auto data = decode_data(record, *a);
                if (!data) break;
                entry.data = std::move(*data);
                has_data = true;
                if (entry.size != 0) break;
                if (entry.data.resident) {
                    entry.size = entry.data.value_length;
                } else if (a->data_size() != 0) {
                    entry.size = a->data_size();
                } else if (a->allocated_size() != 0) {
                    entry.size = a->allocated_size();
                } else {
                    const std::uint64_t clusters = entry.data.cluster_total();
                    entry.size =
                        cluster_size != 0 &&
                                clusters > std::numeric_limits<std::uint64_t>::max() / cluster_size
                            ? std::numeric_limits<std::uint64_t>::max()
                            : clusters * cluster_size;
                }
                break;
            }
            default:
                break;
        }
    }
    if (entry.name.empty() || entry.mft_change == 0 || !has_data) return std::nullopt;
    return entry;
}

std::optional<NtfsFolderEntry> parse_folder_record(Bytes record) {
    if (load_le<std::uint64_t>(record, header::kBaseRecord) != 0) return std::nullopt;
    NtfsFolderEntry folder;
    folder.number = load_le<std::uint32_t>(record, header::kRecordNumber);
    folder.sequence = load_le<std::uint16_t>(record, header::kSequence);
    folder.in_use = load_le<std::uint16_t>(record, header::kFlags) & kRecordInUse;
    bool has_index_root = false;
    AttributeWalk walk(record);
    while (const auto a = walk.next()) {
        switch (a->type()) {
            case kStandardInformation:
                if (!a->resident()) return std::nullopt;
                break;
            case kFileName: {
                const auto value = a->value();
                const auto fn = value ? parse_file_name(*value) : std::nullopt;
                if (!fn || !(fn->flags & kFileNameIsDirectory)) return std::nullopt;
                if (fn->name_space != 2) folder.name = fn->name;
                folder.parent = fn->parent;
                if (record_of(folder.parent) == kRootFolder && folder.number == 0 &&
                    folder.name == u".") {
                    folder.number = kRootFolder;
                }
                break;
            }
            case kIndexRoot:
                has_index_root = true;
                break;
            default:
                break;
        }
    }
    if (!has_index_root || folder.name.empty() || folder.number == 0 || folder.parent == 0) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace rawscan::ntfs
