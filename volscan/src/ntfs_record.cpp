#include "ntfs_record.h"

#include "tobrin/platform/ntfs.h"

#include <algorithm>
#include <cstring>

namespace volscan {
namespace {

using tobrin::Bytes;
using tobrin::fits;
using tobrin::load_le;

constexpr std::uint32_t kEndOfAttributes = 0xFFFFFFFF;
constexpr std::uint32_t kResidentHeader = 24;
constexpr std::uint32_t kNonResidentHeader = 56;  // up to the real size field
constexpr std::uint32_t kSkippedAttributeBits = 0x3E00;

bool has_signature(Bytes record) {
    return fits(record, 0, 4) && std::memcmp(record.data(), "FILE", 4) == 0;
}

Expected<Attribute> parse_attribute(Bytes attr, std::uint32_t type) {
    Attribute a;
    a.type = type;
    a.resident = attr[8] == 0;
    if (a.resident) {
        if (attr.size() < kResidentHeader) return Failure::corrupt;
        const std::uint32_t length = load_le<std::uint32_t>(attr, 16);
        const std::uint16_t offset = load_le<std::uint16_t>(attr, 20);
        if (!fits(attr, offset, length)) return Failure::corrupt;
        a.value = attr.subspan(offset, length);
    } else {
        if (attr.size() < kNonResidentHeader) return Failure::corrupt;
        const std::uint16_t pairs = load_le<std::uint16_t>(attr, 32);
        if (pairs > attr.size()) return Failure::corrupt;
        a.run_list = attr.subspan(pairs);
        a.data_size = load_le<std::uint64_t>(attr, 48);
    }
    return a;
}

}  // namespace

bool apply_fixups(tobrin::MutableBytes record) {
    return has_signature(record) && tobrin::apply_ntfs_fixups(record);
}

Expected<MftRecord> parse_record(Bytes record) {
    if (!has_signature(record) || !fits(record, 0, 48)) return Failure::corrupt;
    const std::uint32_t allocated = load_le<std::uint32_t>(record, 28);
    if (allocated > record.size()) return Failure::corrupt;
    const Bytes walked = record.first(allocated);
    MftRecord r;
    r.sequence = load_le<std::uint16_t>(record, 16);
    r.flags = load_le<std::uint16_t>(record, 22);
    r.base_reference = load_le<std::uint64_t>(record, 32);
    r.number = load_le<std::uint32_t>(record, 44);
    std::uint64_t pos = load_le<std::uint16_t>(record, 20);
    // Each step advances by at least 16 bytes inside `walked`, so the walk ends.
    while (fits(walked, pos, 4)) {
        const std::uint32_t type = load_le<std::uint32_t>(walked, pos);
        if (type == kEndOfAttributes) break;
        if (!fits(walked, pos, 16)) return Failure::corrupt;
        const std::uint32_t length = load_le<std::uint32_t>(walked, pos + 4);
        if (length < 16 || !fits(walked, pos, length)) return Failure::corrupt;
        auto attribute = parse_attribute(walked.subspan(pos, length), type);
        if (!attribute) return attribute.failure();
        r.attributes.push_back(*attribute);
        pos += length;
    }
    return r;
}

Expected<FileName> parse_file_name(Bytes value) {
    if (!fits(value, 0, 66)) return Failure::corrupt;
    const std::uint32_t length = value[64];
    if (!fits(value, 66, 2ull * length)) return Failure::corrupt;
    FileName f;
    const std::uint64_t parent = load_le<std::uint64_t>(value, 0);
    f.parent = static_cast<std::uint32_t>(parent);
    f.parent_sequence = static_cast<std::uint16_t>(parent >> 48);
    f.times = {load_le<std::uint64_t>(value, 8), load_le<std::uint64_t>(value, 16),
               load_le<std::uint64_t>(value, 24), load_le<std::uint64_t>(value, 32)};
    f.size = load_le<std::uint64_t>(value, 48);
    f.dos_only = value[65] == 2;
    f.name.resize(length);
    for (std::uint32_t i = 0; i < length; ++i) {
        f.name[i] = static_cast<char16_t>(load_le<std::uint16_t>(value, 66 + 2ull * i));
    }
    return f;
}

bool is_skipped(const MftRecord& record) {
    if (record.base_reference != 0) return true;
    return std::any_of(record.attributes.begin(), record.attributes.end(), [](const Attribute& a) {
        if (a.type == kAttributeList) return true;
        return a.type == kStandardInformation && a.resident &&
               (load_le<std::uint32_t>(a.value, 32) & kSkippedAttributeBits) != 0;
    });
}

std::optional<FileData> decode_data(const MftRecord& record, std::uint64_t cluster_count) {
    const auto data = std::find_if(record.attributes.begin(), record.attributes.end(),
                                   [](const Attribute& a) { return a.type == kData; });
    if (data == record.attributes.end()) return std::nullopt;
    FileData out;
    if (data->resident) {
        out.resident.assign(data->value.begin(), data->value.end());
        out.size = data->value.size();
        return out;
    }
    out.size = data->data_size;
    auto runs = tobrin::decode_ntfs_runs(data->run_list);
    if (!runs) return out;
    // A file's runs do not overlap, so together they hold at most the volume's clusters;
    // this bounds every later walk over them by the volume size.
    std::uint64_t total = 0;
    for (const tobrin::NtfsRun& r : *runs) {
        const auto first = static_cast<std::uint64_t>(r.first_cluster);
        const auto count = static_cast<std::uint64_t>(r.cluster_count);
        if (first > cluster_count || count > cluster_count - first) return out;
        total += count;
        if (total > cluster_count) return out;
    }
    out.kind = DataKind::runs;
    out.runs = std::move(*runs);
    return out;
}

}  // namespace volscan
