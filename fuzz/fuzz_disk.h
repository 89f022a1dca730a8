// What every harness shares: the fuzz input presented as the machine's only disk,
// a scratch folder for recovered files, and the found-file indexes of report lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tobrin::fuzz {

using Input = std::span<const std::uint8_t>;

// Makes `disk` the machine's only disk, held in memory, with 512- or 4096-byte sectors.
void present_disk(Input disk, std::uint32_t sector_size = 512);

// Presents `volume` as the only partition of an MBR disk, starting at sector 1, with
// the given type byte. The partition entry claims as many sectors as the volume's
// boot sector does, and at least the input's. A volume whose boot sector claims
// 4096-byte sectors gets a 4096-byte-sector disk, so that both sizes are reachable.
void present_volume(Input volume, std::uint8_t partition_type);

// The file index of a found-file or file report line: the fifth of its six fields,
// counted from the end so that a name holding "|" cannot shift it.
std::optional<std::uint32_t> file_index_of(std::string_view line);

// A fresh folder for one input's recovered files, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // A target path inside the folder, distinct per index.
    std::string target(std::uint32_t index) const;

  private:
    std::filesystem::path path_;
};

// Runs `recover` on a target that already exists and aborts unless it is refused
// and the file is left as it was.
void expect_kept(const std::string& target, const std::function<int()>& recover);

// TOBRIN_FUZZ_VERBOSE set: harnesses print every report line, for reading a failing input.
bool verbose();

// Reads every byte of an engine buffer, so that a byte count larger than the block
// shows up as an out-of-bounds read.
void touch(const void* buffer, std::uint64_t bytes);

}  // namespace tobrin::fuzz
