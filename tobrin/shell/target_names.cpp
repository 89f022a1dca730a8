#include "target_names.h"

#include "scan_model.h"
#include "shared_functions.h"

namespace tobrin::shell {
namespace {

bool IsUnsafeByte(char c) {
    return c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Drops trailing bytes until the text ends on a UTF-8 sequence boundary.
void CutToLimit(std::string& text, std::size_t limit) {
    if (text.size() <= limit) return;
    std::size_t end = limit;
    auto is_continuation = [&](std::size_t i) {
        return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    };
    while (end > 0 && is_continuation(end)) --end;
    text.resize(end);
}

}  // namespace

std::string SafeComponent(std::string_view name, std::size_t limit) {
    std::string safe(name);
    for (char& c : safe) {
        if (IsUnsafeByte(c)) c = '_';
    }
    if (safe.empty() || safe == "." || safe == "..") safe.insert(0, "_");
    CutToLimit(safe, limit);
    return safe;
}

std::string FlatTargetName(std::string_view index, std::string_view name) {
    std::string prefix(index);
    prefix += '_';
    return prefix + SafeComponent(name, kMaxComponentBytes - prefix.size());
}

std::vector<std::string> TreeFolders(std::string_view folder_field) {
    std::vector<std::string_view> parts;
    SplitAt('\\', folder_field, parts);
    std::vector<std::string> folders;
    const bool rooted = !parts.empty() && IsDrivePath(parts.front());
    if (!rooted || IsOrphanFolder(folder_field)) {
        folders.emplace_back(kLostFilesFolder);
    }
    for (std::size_t i = rooted ? 1 : 0; i < parts.size(); ++i) {
        if (!IsOrphanFolder(parts[i])) folders.push_back(SafeComponent(parts[i]));
    }
    return folders;
}

}  // namespace tobrin::shell
