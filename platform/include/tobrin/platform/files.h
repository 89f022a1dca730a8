// Target files, heap blocks handed across library boundaries, and shell services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace tobrin::platform {

// A new file opened for writing; creation fails when the path exists.
class OutputFile {
  public:
    static std::optional<OutputFile> create_new(const std::string& path);
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    ~OutputFile();
    // Writes all bytes; false when the system wrote fewer.
    bool write(std::span<const std::uint8_t> bytes);

  private:
    explicit OutputFile(int fd) : fd_(fd) {}
    int fd_;
};

// Zeroed block for buffers that an engine hands to its caller; null on failure.
void* heap_alloc(std::size_t bytes);
void heap_free(void* block);

// The user's desktop folder: XDG_DESKTOP_DIR, else ~/Desktop; empty when neither exists.
std::string desktop_directory();

// Opens a folder in the system file browser (xdg-open). Tests replace the opener.
using FolderOpener = std::function<void(const std::string& folder)>;
void set_folder_opener(FolderOpener opener);
void open_in_file_browser(const std::string& folder);

}  // namespace tobrin::platform
