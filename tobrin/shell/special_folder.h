// The user's shell folders, such as the default target of a recovery.
#pragma once

#include <string>

namespace tobrin::shell {

// The file-system folder behind the user's desktop (the only folder asked for).
constexpr int kCsidlDesktopDirectory = 16;

// The folder's path, or an empty text when the system has none. With
// `create` a missing folder is made.
std::string GetSpecialFolder(int folder_id, bool create);

}  // namespace tobrin::shell
