#include "commands.h"

#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdio>

#include "engines.h"
#include "json.h"
#include "partition_list.h"
#include "progress.h"
#include "recovery.h"
#include "report.h"
#include "scan_model.h"
#include "selection.h"
#include "shared_functions.h"
#include "tobrin/platform/machine.h"

namespace tobrin::cli {
namespace {

std::unique_ptr<FileSource> OpenSource(const Source& source, std::string& error) {
    return source.is_volume ? OpenVolume(source.volume, error)
                            : OpenPartition(source.partition, error);
}

// `fields` is scratch space, reused from line to line.
bool IsDeletedRawLine(std::string_view line, std::vector<std::string_view>& fields) {
    return shell::SplitFields(line, shell::kFieldCount, fields) && fields[shell::kFieldLast] != "0";
}

std::string VolumeDevice(const platform::Volume& volume) {
    const platform::Disk& disk = platform::machine().disks.at(volume.disk);
    const bool whole_disk = volume.start == 0 && volume.length == disk.device->size();
    if (whole_disk) return disk.path;
    return disk.path + "#" + std::to_string(volume.partition_number);
}

// The file system the volume engine finds on a volume, named by its type.
std::string_view VolumeFileSystem(const platform::Volume& volume) {
    std::string error;
    const std::string name{volume.letter, ':'};
    if (!OpenVolume(name, error)) return "unknown";
    return FileSystemName(volume.type);
}

int RunVolumes(const Invocation& invocation) {
    if (!invocation.json) Row("VOLUME\tDEVICE\tFS\tSIZE");
    for (const platform::Volume& volume : platform::machine().volumes) {
        const std::string letter{volume.letter, ':'};
        const std::string device = VolumeDevice(volume);
        const std::string_view file_system = VolumeFileSystem(volume);
        if (invocation.json) {
            Row(JsonObject()
                    .Add("volume", letter)
                    .Add("device", device)
                    .Add("file_system", file_system)
                    .Add("size", volume.length)
                    .Text());
        } else {
            Row(letter + "\t" + device + "\t" + std::string(file_system) + "\t" +
                shell::FormatFileSize(static_cast<std::int64_t>(volume.length)));
        }
    }
    return kExitOk;
}

void PrintPartitionRow(const PartitionRow& row, bool json) {
    if (json) {
        Row(JsonObject()
                .Add("partition", std::uint64_t{row.index})
                .Add("disk", std::uint64_t{row.disk})
                .Add("root", row.root)
                .Add("length", row.length)
                .Add("type", std::uint64_t{row.type})
                .Add("file_system", FileSystemName(row.type))
                .Text());
        return;
    }
    Row("partition " + std::to_string(row.index) + "\tdisk " + std::to_string(row.disk) + "\t" +
        row.root + "\t" + shell::FormatFileSize(static_cast<std::int64_t>(row.length)) + "\ttype " +
        std::to_string(row.type) + "\t" + std::string(FileSystemName(row.type)));
}

int RunPartitions(const Invocation& invocation) {
    const std::string text = ReadPartitionList();
    if (text.empty()) return Fail("the raw engine could not list the partitions");
    const auto list = ParsePartitionList(text);
    if (!list) return Fail("the raw engine's partition list is unreadable: " + text);
    if (!invocation.json) Row(text);
    for (const PartitionRow& row : list->rows) PrintPartitionRow(row, invocation.json);
    return kExitOk;
}

// "C: " or "partition 3: ", the start of a summary line.
std::string Subject(const FileSource& source) {
    const std::string name = source.name();
    return name.back() == ':' ? name + " " : name + ": ";
}

std::string Files(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Seconds(double seconds) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.3f s", seconds);
    return text.data();
}

// "C:: 12 files found; opened in 0.010 s, scanned in 0.200 s"; the raw engine
// also counts the deleted ones, and its opening is the partition's preparation.
std::string ScanSummary(const FileSource& source, std::uint64_t found, std::uint64_t deleted,
                        double open_seconds, double scan_seconds) {
    const bool raw = source.kind() == LineKind::kRaw;
    std::string summary = Subject(source) + Files(found) + " found";
    if (raw) summary += " (" + std::to_string(deleted) + " deleted)";
    return summary + (raw ? "; prepared in " : "; opened in ") + Seconds(open_seconds) +
           ", scanned in " + Seconds(scan_seconds);
}

int RunScan(const Invocation& invocation) {
    std::string error;
    const auto open_start = std::chrono::steady_clock::now();
    const auto source = OpenSource(invocation.source, error);
    if (!source) return Fail(error);
    const double open_seconds = SecondsSince(open_start);
    Progress progress(LiveProgressWanted(invocation.quiet), "files found");
    // Only the summary shows how many of the raw engine's files are deleted.
    const bool count_deleted = source->kind() == LineKind::kRaw && !invocation.quiet;
    std::uint64_t deleted = 0;
    std::vector<std::string_view> fields;
    const auto scan_start = std::chrono::steady_clock::now();
    const bool ran = source->Scan([&](std::string_view line) {
        progress.Count();
        if (count_deleted && IsDeletedRawLine(line, fields)) ++deleted;
        if (invocation.json) {
            Row(FoundFileObject(line, source->kind()).Text());
        } else {
            Row(line);
        }
    });
    const double scan_seconds = SecondsSince(scan_start);
    progress.Finish();
    if (!ran) return Fail("the scan of " + source->name() + " could not run");
    if (!invocation.quiet) {
        Note(ScanSummary(*source, progress.count(), deleted, open_seconds, scan_seconds));
    }
    return kExitOk;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Scans quietly into `lines`; false when the scan could not run.
bool CollectLines(FileSource& source, bool quiet, shell::LineStore& lines) {
    Progress progress(LiveProgressWanted(quiet), "files found");
    const bool ran = source.Scan([&](std::string_view line) {
        progress.Count();
        lines.Append(line);
    });
    return ran;
}

std::string RecoverySummary(const FileSource& source, std::size_t found, std::size_t selected,
                            const RecoveryTotals& totals) {
    return Subject(source) + Files(found) + " found, " + std::to_string(selected) + " selected, " +
           std::to_string(totals.recovered) + " recovered, " + std::to_string(totals.skipped) +
           " skipped (already there), " + std::to_string(totals.failed) + " failed";
}

int RunRecover(const Invocation& invocation) {
    if (!IsDirectory(invocation.target_dir)) {
        return Fail("target directory " + invocation.target_dir + " does not exist");
    }
    std::string error;
    const auto source = OpenSource(invocation.source, error);
    if (!source) return Fail(error);
    shell::LineStore lines;
    if (!CollectLines(*source, invocation.quiet, lines)) {
        return Fail("the scan of " + source->name() + " could not run");
    }
    const SelectResult selected = SelectLines(invocation.selection, lines.lines());
    if (!selected.error.empty()) return Fail(selected.error + " on " + source->name());
    Progress progress(LiveProgressWanted(invocation.quiet), "files recovered");
    Recoverer recoverer(*source,
                        RecoveryOptions{.target_dir = invocation.target_dir,
                                        .tree = invocation.tree,
                                        .json = invocation.json,
                                        .quiet = invocation.quiet},
                        progress);
    for (const std::string_view line : selected.lines) recoverer.Take(line);
    progress.Finish();
    const RecoveryTotals& totals = recoverer.totals();
    if (!invocation.quiet) {
        Note(RecoverySummary(*source, lines.lines().size(), selected.lines.size(), totals));
    }
    return totals.failed == 0 ? kExitOk : kExitFailed;
}

// The size field of the file with index `index`, or null when none has it.
std::optional<std::int64_t> FoundFileSize(std::span<const std::string_view> lines,
                                          std::uint32_t index) {
    const std::string index_text = std::to_string(index);
    const auto found = shell::SelectLinesByIndex(std::span(&index_text, 1), lines, {});
    std::vector<std::string_view> fields;
    std::int64_t size = 0;
    if (found.empty() || !shell::SplitFields(found.front(), shell::kFieldCount, fields) ||
        !shell::ParseInt64(fields[shell::kFieldSize], size) || size < 0) {
        return std::nullopt;
    }
    return size;
}

int RunCat(const Invocation& invocation) {
    std::string error;
    const auto source = OpenSource(invocation.source, error);
    if (!source) return Fail(error);
    shell::LineStore lines;
    if (!CollectLines(*source, invocation.quiet, lines)) {
        return Fail("the scan of " + source->name() + " could not run");
    }
    const std::string index = std::to_string(invocation.file_index);
    const auto size = FoundFileSize(lines.lines(), invocation.file_index);
    if (!size) return Fail("no found file has the index " + index + " on " + source->name());
    if (*size == 0) return kExitOk;
    const auto buffer = source->Read(invocation.file_index);
    if (!buffer) return Fail("could not read file " + index + " of " + source->name());
    const auto wanted = static_cast<std::uint64_t>(*size);
    const auto bytes = buffer->bytes().first(
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer->bytes().size(), wanted)));
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        return Fail("could not write file " + index + " to standard output");
    }
    if (bytes.size() < wanted) {
        return Fail("file " + index + " of " + source->name() + " gave only " +
                    std::to_string(bytes.size()) + " of its " + std::to_string(wanted) + " bytes");
    }
    return kExitOk;
}

}  // namespace

int RunCommand(const Invocation& invocation) {
    switch (invocation.command) {
        case Command::kVolumes:
            return RunVolumes(invocation);
        case Command::kPartitions:
            return RunPartitions(invocation);
        case Command::kScan:
        case Command::kRawScan:
            return RunScan(invocation);
        case Command::kRecover:
        case Command::kRawRecover:
            return RunRecover(invocation);
        case Command::kCat:
            return RunCat(invocation);
    }
    return kExitUsage;
}

}  // namespace tobrin::cli
