// The preview's fixed-size work file, reached through a read-write mapping
// while holding an exclusive lock, so two users of the file never mix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tobrin::shell {

// Creates or truncates the file and extends it to `size` zero bytes.
bool CreateSizedFile(const std::string& path, std::uint64_t size);
// Sets the first `length` bytes of an existing file to zero (growing it if shorter).
bool ZeroFileContents(const std::string& path, std::uint64_t length);
// Copies min(data.size(), file_size) bytes of `data` to the start of an
// existing file, which is at least `file_size` bytes long afterwards.
bool WriteFileContents(const std::string& path, std::uint64_t file_size,
                       std::span<const std::byte> data);
// True when the file exists and cannot be locked and mapped for exclusive read-write use.
bool IsFileInUse(const std::string& path);

}  // namespace tobrin::shell
