// Bounds-checked little-endian readers for on-disk structures.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tobrin {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// True when [offset, offset + length) lies inside `data`; overflow-safe.
constexpr bool fits(Bytes data, std::uint64_t offset, std::uint64_t length) {
    return offset <= data.size() && length <= data.size() - offset;
}

// Reads an unsigned little-endian integer at `offset`. A read that does not fit
// yields 0: callers check with fits() where corruption must be told apart, and a
// missed check can never read outside the buffer.
template <std::unsigned_integral T>
constexpr T load_le(Bytes data, std::uint64_t offset) {
    if (!fits(data, offset, sizeof(T))) return 0;
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<T>(static_cast<T>(data[offset + i]) << (8 * i));
    }
    return value;
}

// Reads `width` (0 to 8) bytes as a little-endian integer, sign-extended from its top
// byte when `is_signed`; used by NTFS run lists.
constexpr std::int64_t load_le_varint(Bytes data, std::uint64_t offset, unsigned width,
                                      bool is_signed) {
    if (width == 0 || width > 8 || !fits(data, offset, width)) return 0;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{data[offset + i]} << (8 * i);
    if (is_signed && width < 8 && (data[offset + width - 1] & 0x80)) {
        value |= ~std::uint64_t{0} << (8 * width);
    }
    return std::bit_cast<std::int64_t>(value);
}

inline void store_le16(MutableBytes data, std::uint64_t offset, std::uint16_t value) {
    if (!fits(data, offset, 2)) return;
    data[offset] = static_cast<std::uint8_t>(value);
    data[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace tobrin
