// The two engines behind one small interface, called only through their flat
// exports. Engine callbacks are plain functions of one argument; they reach
// the running call's handler through a thread-local route.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "json.h"
#include "partition_list.h"
#include "tobrin/platform/export.h"

namespace tobrin::cli {

using LineHandler = std::function<void(std::string_view line)>;

// A data buffer handed out by an engine, released through the same engine.
class EngineBuffer {
  public:
    using Release = std::int32_t(TOBRIN_CALL*)(void*);
    EngineBuffer(void* data, std::uint64_t size, Release release)
        : data_(data), size_(size), release_(release) {}
    EngineBuffer(const EngineBuffer&) = delete;
    EngineBuffer& operator=(const EngineBuffer&) = delete;
    ~EngineBuffer() { release_(data_); }
    std::span<const std::uint8_t> bytes() const {
        return {static_cast<const std::uint8_t*>(data_), static_cast<std::size_t>(size_)};
    }

  private:
    void* data_;
    std::uint64_t size_;
    Release release_;
};

// Where found files come from: a volume, or a partition of the raw engine.
class FileSource {
  public:
    FileSource() = default;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    virtual ~FileSource() = default;
    // Every found-file line goes to `handler`; false when the scan could not run.
    virtual bool Scan(const LineHandler& handler) = 0;
    // Copies file `index` into the new file `target`.
    virtual bool Recover(std::uint32_t index, const std::string& target) = 0;
    // All clusters of file `index`; null when they cannot be read.
    virtual std::unique_ptr<EngineBuffer> Read(std::uint32_t index) = 0;
    virtual LineKind kind() const = 0;
    // "C:" or "partition 3", for messages.
    virtual std::string name() const = 0;
};

// Null with `error` set when the volume is not there or holds no file system
// the volume engine reads.
std::unique_ptr<FileSource> OpenVolume(const std::string& volume, std::string& error);

// The raw engine's partition list text; empty when the engine could not start.
std::string ReadPartitionList();

// Null with `error` set when the partition does not exist or cannot be prepared.
std::unique_ptr<FileSource> OpenPartition(std::uint32_t partition, std::string& error);

}  // namespace tobrin::cli
