// Where a recovered file lands. A name from the disk is only ever one path
// component: it cannot climb out of the target directory or into a subfolder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tobrin::shell {

// The longest name most Linux file systems take, in bytes.
constexpr std::size_t kMaxComponentBytes = 255;

// `name` made into one harmless path component: '/' and control bytes become
// '_', ".", ".." and "" become "_", "_." and "_..", and the result is cut to
// `limit` bytes without splitting a UTF-8 sequence.
std::string SafeComponent(std::string_view name, std::size_t limit = kMaxComponentBytes);

// "17_report.doc": the file index, "_" and the file's name, made safe.
std::string FlatTargetName(std::string_view index, std::string_view name);

// The folders to recreate under the target directory for a found file's
// folder field: the path's components without its drive, each made safe;
// a file whose folder chain was lost ("NULL", "NIL") or whose path does not
// start at a drive goes under "LostFiles".
std::vector<std::string> TreeFolders(std::string_view folder_field);

}  // namespace tobrin::shell
