#include "target_folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace tobrin::cli {
namespace {

bool IsRealDirectory(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool PathTaken(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::optional<std::string> MakeFolders(const std::string& base,
                                       const std::vector<std::string>& folders,
                                       std::string& error) {
    std::string path = base;
    for (const std::string& folder : folders) {
        path += '/';
        path += folder;
        if (mkdir(path.c_str(), 0777) == 0) continue;
        const int failure = errno;
        if (failure == EEXIST && IsRealDirectory(path)) continue;
        error = "cannot make the folder " + path +
                (failure == EEXIST ? ": something that is not a folder is in the way"
                                   : ": " + std::string(std::strerror(failure)));
        return std::nullopt;
    }
    return path;
}

}  // namespace tobrin::cli
