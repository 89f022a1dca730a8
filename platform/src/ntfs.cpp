#include "tobrin/platform/ntfs.h"

namespace tobrin {

std::optional<std::vector<NtfsRun>> decode_ntfs_runs(Bytes pairs) {
    std::vector<NtfsRun> runs;
    std::int64_t lcn = 0;
    std::uint64_t pos = 0;
    while (true) {
        if (!fits(pairs, pos, 1)) return std::nullopt;
        const std::uint8_t header = pairs[pos];
        if (header == 0) return runs;
        const unsigned length_bytes = header & 0x0F;
        const unsigned offset_bytes = header >> 4;
        if (length_bytes == 0 || length_bytes > 8 || offset_bytes == 0 || offset_bytes > 8 ||
            !fits(pairs, pos + 1, length_bytes + offset_bytes)) {
            return std::nullopt;
        }
        const std::int64_t count = load_le_varint(pairs, pos + 1, length_bytes, true);
        const std::int64_t delta =
            load_le_varint(pairs, pos + 1 + length_bytes, offset_bytes, true);
        if (count < 0 || delta == 0 || __builtin_add_overflow(lcn, delta, &lcn) || lcn < 0) {
            return std::nullopt;
        }
        runs.push_back({lcn, count});
        pos += 1 + length_bytes + offset_bytes;
    }
}

bool apply_ntfs_fixups(MutableBytes record) {
    constexpr std::uint64_t kBlock = 512;
    const std::uint16_t usa = load_le<std::uint16_t>(record, 4);
    const std::uint16_t count = load_le<std::uint16_t>(record, 6);
    if (count == 0 || !fits(record, usa, 2ull * count) ||
        std::uint64_t{count - 1u} * kBlock > record.size()) {
        return false;
    }
    const std::uint16_t check = load_le<std::uint16_t>(record, usa);
    for (std::uint64_t k = 1; k < count; ++k) {
        if (load_le<std::uint16_t>(record, k * kBlock - 2) != check) return false;
    }
    for (std::uint64_t k = 1; k < count; ++k) {
        store_le16(record, k * kBlock - 2, load_le<std::uint16_t>(record, usa + 2 * k));
    }
    return true;
}

}  // namespace tobrin
