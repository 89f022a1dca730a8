#include "recovery_engine.h"

namespace rawscan {

std::string report_line(const std::string& name, const std::string& folder, std::uint64_t size,
                        const std::string& time, std::uint64_t index, bool deleted) {
    return name + "|" + folder + "|" + std::to_string(size) + "|" + time + "|" +
           std::to_string(index) + "|" + (deleted ? "1" : "0");
}

}  // namespace rawscan
