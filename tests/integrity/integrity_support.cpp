#include "integrity_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tobrin/testing/fixtures.h"

namespace tobrin::integrity {
namespace fs = std::filesystem;

std::string Image::disk_argument() const {
    return sector_size == 512 ? path.string() : path.string() + "@" + std::to_string(sector_size);
}

std::vector<Image> fixture_images() {
    const fs::path folder = testing::fixture_path("ntfs.img").parent_path();
    std::vector<Image> images;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".img") continue;
        const bool big_sectors = entry.path().filename() == "fat32-4k.img";
        images.push_back({entry.path(), big_sectors ? 4096u : 512u});
    }
    std::sort(images.begin(), images.end(),
              [](const Image& a, const Image& b) { return a.path < b.path; });
    return images;
}

// coreutils' sha256sum rather than the test library's portable one: the images add
// up to about a gigabyte and are hashed several times per run, sanitized builds too.
std::string file_sha256(const fs::path& path) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execlp("sha256sum", "sha256sum", "--", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.size() < 64) {
        throw std::runtime_error("sha256sum failed on " + path.string());
    }
    return text.substr(0, 64);
}

namespace {

// The descriptors of this process open on `path`, with their open flags.
std::vector<std::pair<int, int>> open_on(const fs::path& path) {
    std::vector<std::pair<int, int>> found;
    const fs::path wanted = fs::canonical(path);
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (error || target != wanted) continue;
        const std::string fd = entry.path().filename().string();
        std::ifstream info("/proc/self/fdinfo/" + fd);
        std::string key;
        std::string value;
        while (info >> key >> value) {
            if (key == "flags:") found.emplace_back(std::stoi(fd), std::stoi(value, nullptr, 8));
        }
    }
    return found;
}

}  // namespace

std::vector<int> writable_descriptors(const fs::path& path) {
    std::vector<int> writable;
    for (const auto& [fd, flags] : open_on(path)) {
        if ((flags & O_ACCMODE) != O_RDONLY) writable.push_back(fd);
    }
    return writable;
}

std::size_t descriptors_on(const fs::path& path) {
    return open_on(path).size();
}

std::vector<std::string> tree_listing(const fs::path& root) {
    std::vector<std::string> rows;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_symlink()) {
            rows.push_back(relative + " -> " + fs::read_symlink(entry.path()).string());
        } else if (entry.is_regular_file()) {
            rows.push_back(relative + " " + file_sha256(entry.path()));
        } else {
            rows.push_back(relative + "/");
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace tobrin::integrity
