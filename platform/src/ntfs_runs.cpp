#include "tobrin/platform/ntfs_runs.h"

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

}  // namespace tobrin
