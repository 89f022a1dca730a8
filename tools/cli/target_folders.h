// The folders and files of a recovery target, created without following a
// link that could lead out of the target directory.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tobrin::cli {

// Creates `folders` one below the other under `base`; an existing component
// must be a real directory, not a link that could lead elsewhere. Returns the
// deepest folder's path, or null with `error` set.
std::optional<std::string> MakeFolders(const std::string& base,
                                       const std::vector<std::string>& folders, std::string& error);

// Whether anything (a file, a folder, a dangling link) is at `path`.
bool PathTaken(const std::string& path);

}  // namespace tobrin::cli
