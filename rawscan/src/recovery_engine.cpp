#include "recovery_engine.h"

#include <array>
#include <charconv>

namespace rawscan {
namespace {

void append_number(std::string& line, std::uint64_t value) {
    std::array<char, 20> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    line.append(digits.data(), end);
}

}  // namespace

std::string report_line(std::string_view name, std::string_view folder, std::uint64_t size,
                        std::string_view time, std::uint64_t index, bool deleted) {
    std::string line;
    line.reserve(name.size() + folder.size() + time.size() + 48);
    line.append(name).append(1, '|').append(folder).append(1, '|');
    append_number(line, size);
    line.append(1, '|').append(time).append(1, '|');
    append_number(line, index);
    line.append(deleted ? "|1" : "|0");
    return line;
}

}  // namespace rawscan
