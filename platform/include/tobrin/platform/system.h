// Registry values and operating-system facts the engines consult.
#pragma once

#include <cstdint>
#include <optional>

namespace tobrin::platform {

struct OsVersion {
    std::uint32_t major = 10;
    std::uint32_t minor = 0;
};

// What tests may change; the defaults describe an ordinary machine.
struct SystemSettings {
    bool disk_count_readable = true;                    // registry "Count" present
    std::optional<std::uint32_t> mft_zone_reservation;  // "NtfsMftZoneReservation"
    OsVersion os;
};
SystemSettings& system_settings();

// The registry's disk count: the number of disks of the machine.
std::optional<std::uint32_t> registry_disk_count();
std::optional<std::uint32_t> registry_mft_zone_reservation();
OsVersion os_version();

}  // namespace tobrin::platform
