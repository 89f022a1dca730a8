// Read-only block devices: image files, real block devices, memory buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tobrin::platform {

enum class ReadStatus { ok, short_read, failed };

struct ReadResult {
    ReadStatus status = ReadStatus::failed;
    std::size_t bytes = 0;  // bytes delivered into the buffer
    bool ok() const { return status == ReadStatus::ok; }
};

// A source of sectors. Implementations never write to what they read from.
class BlockDevice {
  public:
    virtual ~BlockDevice() = default;
    virtual std::uint64_t size() const = 0;
    // Fills `out` from `offset`. Past the end the read is short; an I/O error fails it.
    virtual ReadResult read_at(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

// Opens an image file or block device read-only. On failure returns null and sets
// `error` to a sentence naming the path.
std::shared_ptr<BlockDevice> open_file_device(const std::string& path, std::string& error);

// A device over bytes held in memory, for tests and fuzzers. Ranges marked with
// fail_reads() behave like unreadable sectors.
class MemoryDevice final : public BlockDevice {
  public:
    explicit MemoryDevice(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    ReadResult read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    void fail_reads(std::uint64_t offset, std::uint64_t length);

  private:
    struct Range {
        std::uint64_t offset, length;
    };
    std::vector<std::uint8_t> bytes_;
    std::vector<Range> bad_;
};

// A window [start, start + length) of another device, as a partition is of its disk.
class SliceDevice final : public BlockDevice {
  public:
    SliceDevice(std::shared_ptr<const BlockDevice> base, std::uint64_t start, std::uint64_t length);
    std::uint64_t size() const override { return length_; }
    ReadResult read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override;

  private:
    std::shared_ptr<const BlockDevice> base_;
    std::uint64_t start_, length_;
};

}  // namespace tobrin::platform
