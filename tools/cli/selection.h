// Turns a SELECT option into the found-file lines a recovery takes.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.h"

namespace tobrin::cli {

struct SelectResult {
    std::vector<std::string_view> lines;
    std::string error;  // an index that no found file has
};

// --index: every usable line whose file index is a given one, in the order of
// the indexes (an index no line has is an error); --all: every usable line;
// --name: every usable line whose file name matches the pattern.
SelectResult SelectLines(const Selection& selection, std::span<const std::string_view> lines);

}  // namespace tobrin::cli
