#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tobrin::testing {

// Lower-case hex SHA-256 of the bytes, as the fixture manifests write it.
std::string sha256_hex(std::span<const std::uint8_t> bytes);

}  // namespace tobrin::testing
