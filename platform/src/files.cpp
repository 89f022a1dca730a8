#include "tobrin/platform/files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace tobrin::platform {

std::optional<OutputFile> OutputFile::create_new(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return std::nullopt;
    return OutputFile(fd);
}

OutputFile::OutputFile(OutputFile&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void* heap_alloc(std::size_t bytes) {
    return std::calloc(bytes ? bytes : 1, 1);
}

void heap_free(void* block) {
    std::free(block);
}

namespace {

// XDG_DESKTOP_DIR as user-dirs.dirs writes it: XDG_DESKTOP_DIR="$HOME/Desktop".
std::string xdg_desktop(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string dirs =
        (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
    std::ifstream in(dirs);
    for (std::string line; std::getline(in, line);) {
        const std::string key = "XDG_DESKTOP_DIR=\"";
        if (!line.starts_with(key) || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.starts_with("$HOME")) value = home + value.substr(5);
        return value;
    }
    return {};
}

std::mutex g_opener_mutex;
FolderOpener g_opener;

}  // namespace

std::string desktop_directory() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    std::error_code ec;
    for (const std::string& candidate : {xdg_desktop(home), std::string(home) + "/Desktop"}) {
        if (!candidate.empty() && std::filesystem::is_directory(candidate, ec)) return candidate;
    }
    return {};
}

void set_folder_opener(FolderOpener opener) {
    std::lock_guard lock(g_opener_mutex);
    g_opener = std::move(opener);
}

void open_in_file_browser(const std::string& folder) {
    FolderOpener opener;
    {
        std::lock_guard lock(g_opener_mutex);
        opener = g_opener;
    }
    if (opener) {
        opener(folder);
        return;
    }
    // Detached through a short-lived child so that no zombie is left behind.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::execlp("xdg-open", "xdg-open", folder.c_str(), static_cast<char*>(nullptr));
        }
        ::_exit(0);
    }
    if (child > 0) ::waitpid(child, nullptr, 0);
}

}  // namespace tobrin::platform
