#include "tobrin/platform/system.h"

#include "tobrin/platform/machine.h"

namespace tobrin::platform {

SystemSettings& system_settings() {
    static SystemSettings settings;
    return settings;
}

std::optional<std::uint32_t> registry_disk_count() {
    if (!system_settings().disk_count_readable) return std::nullopt;
    return static_cast<std::uint32_t>(machine().disks.size());
}

std::optional<std::uint32_t> registry_mft_zone_reservation() {
    return system_settings().mft_zone_reservation;
}

OsVersion os_version() {
    return system_settings().os;
}

}  // namespace tobrin::platform
