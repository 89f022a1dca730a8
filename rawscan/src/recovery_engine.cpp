#include "recovery_engine.h"

namespace rawscan {

void write_report_line(std::string& line, std::string_view name, std::string_view folder,
                       std::uint64_t size, const tobrin::platform::CalendarTime& time,
                       std::uint64_t index, bool deleted) {
    namespace platform = tobrin::platform;
    line.clear();
    line.append(name).append(1, '|').append(folder).append(1, '|');
    platform::append_decimal(line, size);
    line += '|';
    platform::append_line_time(line, time);
    line += '|';
    platform::append_decimal(line, index);
    line.append(deleted ? "|1" : "|0");
}

}  // namespace rawscan
