#include "engines.h"

#include "rawscan.h"
#include "tobrin/platform/machine.h"
#include "volscan.h"

namespace tobrin::cli {
namespace {

// The handler of the scan running on this thread.
thread_local const LineHandler* t_line_handler = nullptr;
// Where the partition list of the initialisation running on this thread goes.
thread_local std::string* t_partition_list = nullptr;

std::int32_t TOBRIN_CALL ForwardLine(const char* line) {
    (*t_line_handler)(line);
    return 1;
}

void TOBRIN_CALL KeepPartitionList(const char* list) {
    *t_partition_list = list;
}

// Points the engine callbacks at `handler` for the lifetime of a scan.
class LineRoute {
  public:
    explicit LineRoute(const LineHandler& handler) : previous_(t_line_handler) {
        t_line_handler = &handler;
    }
    LineRoute(const LineRoute&) = delete;
    LineRoute& operator=(const LineRoute&) = delete;
    ~LineRoute() { t_line_handler = previous_; }

  private:
    const LineHandler* previous_;
};

class VolumeSource final : public FileSource {
  public:
    VolumeSource(VolscanContext* context, std::string volume)
        : context_(context), volume_(std::move(volume)) {}
    ~VolumeSource() override { ReleaseVolumeInfo(context_); }

    bool Scan(const LineHandler& handler) override {
        const LineRoute route(handler);
        return ScanVolume(context_, ForwardLine) != 0;
    }
    bool Recover(std::uint32_t index, const std::string& target) override {
        return RecoverFile(context_, index, target.c_str(), nullptr) != 0;
    }
    std::unique_ptr<EngineBuffer> Read(std::uint32_t index) override {
        std::uint64_t size = 0;
        void* data = GetFileClusters(context_, index, 1, 1, &size);
        if (!data) return nullptr;
        return std::make_unique<EngineBuffer>(data, size, ReleaseFileBuffer);
    }
    LineKind kind() const override { return LineKind::kVolume; }
    std::string name() const override { return volume_; }

  private:
    VolscanContext* context_;
    std::string volume_;
};

// One raw context per front-end run: the plain family keeps one engine per
// file-system kind, and this source prepares exactly one partition.
class PartitionSource final : public FileSource {
  public:
    PartitionSource(void* context, std::uint32_t partition)
        : context_(context), partition_(partition) {}
    ~PartitionSource() override { ReleaseRawRecovery(context_); }

    bool Scan(const LineHandler& handler) override {
        const LineRoute route(handler);
        return ScanRawPartition(context_, partition_, ForwardLine) != 0;
    }
    bool Recover(std::uint32_t index, const std::string& target) override {
        return RecoverRawFile(context_, partition_, index, target.c_str(), nullptr) != 0;
    }
    std::unique_ptr<EngineBuffer> Read(std::uint32_t index) override {
        std::uint64_t size = 0;
        void* data = GetRawFileCluster(context_, partition_, index, 1, 1, &size);
        if (!data) return nullptr;
        return std::make_unique<EngineBuffer>(data, size, ReleaseRawFileBuffer);
    }
    LineKind kind() const override { return LineKind::kRaw; }
    std::string name() const override { return "partition " + std::to_string(partition_); }

  private:
    void* context_;
    std::uint32_t partition_;
};

void* InitRaw(std::string& list) {
    std::string* previous = t_partition_list;
    t_partition_list = &list;
    void* context = InitRawRecovery(KeepPartitionList);
    t_partition_list = previous;
    return context;
}

std::string UnpreparableReason(std::uint32_t partition, const std::string& list_text) {
    const auto list = ParsePartitionList(list_text);
    const std::string name = "partition " + std::to_string(partition);
    if (!list || partition >= list->rows.size()) {
        const std::size_t count = list ? list->rows.size() : 0;
        return name + " does not exist (the disks hold " + std::to_string(count) +
               " partitions; see 'partitions')";
    }
    const PartitionRow& row = list->rows[partition];
    if (row.type != 7 && row.type != 11 && row.type != 12) {
        return name + " cannot be prepared: its type " + std::to_string(row.type) +
               " is neither NTFS (7) nor FAT32 (11, 12)";
    }
    return name + " cannot be prepared: no " + std::string(FileSystemName(row.type)) +
           " layout could be rebuilt from it";
}

}  // namespace

std::unique_ptr<FileSource> OpenVolume(const std::string& volume, std::string& error) {
    if (!platform::machine().volume(volume.front())) {
        error = volume + " is not a volume (see 'volumes')";
        return nullptr;
    }
    VolscanContext* context = InitVolumeInfo(volume.c_str());
    if (!context) {
        error = volume + " cannot be opened: it holds no NTFS, FAT32 or FAT16 file system";
        return nullptr;
    }
    return std::make_unique<VolumeSource>(context, volume);
}

std::string ReadPartitionList() {
    std::string list;
    if (void* context = InitRaw(list)) ReleaseRawRecovery(context);
    return list;
}

std::unique_ptr<FileSource> OpenPartition(std::uint32_t partition, std::string& error) {
    std::string list;
    void* context = InitRaw(list);
    if (!context) {
        error = "the raw engine could not start";
        return nullptr;
    }
    if (PrepareRawRecovery(context, partition) == 0) {
        error = UnpreparableReason(partition, list);
        ReleaseRawRecovery(context);
        return nullptr;
    }
    return std::make_unique<PartitionSource>(context, partition);
}

}  // namespace tobrin::cli
