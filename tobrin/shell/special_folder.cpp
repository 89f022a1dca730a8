#include "special_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

namespace tobrin::shell {
namespace {

std::string EnvOr(const char* name, std::string fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

// XDG_DESKTOP_DIR="$HOME/Desktop" from user-dirs.dirs, with $HOME expanded.
std::optional<std::string> XdgDesktopDir(const std::string& home) {
    const std::string config = EnvOr("XDG_CONFIG_HOME", home + "/.config");
    std::ifstream file(config + "/user-dirs.dirs");
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=\"";
    std::string line;
    while (std::getline(file, line)) {
        if (!line.starts_with(kKey) || !line.ends_with('"')) continue;
        std::string value = line.substr(kKey.size(), line.size() - kKey.size() - 1);
        constexpr std::string_view kHome = "$HOME";
        if (value.starts_with(kHome)) value = home + value.substr(kHome.size());
        if (value.starts_with('/')) return value;
    }
    return std::nullopt;
}

}  // namespace

std::string GetSpecialFolder(int folder_id, bool create) {
    if (folder_id != kCsidlDesktopDirectory) return {};
    const std::string home = EnvOr("HOME", "");
    if (home.empty()) return {};
    const std::string desktop = XdgDesktopDir(home).value_or(home + "/Desktop");
    std::error_code error;
    if (create) std::filesystem::create_directories(desktop, error);
    return std::filesystem::is_directory(desktop, error) ? desktop : std::string{};
}

}  // namespace tobrin::shell
