#include "device_io.h"

namespace volscan {

using tobrin::platform::DeviceHandle;

bool read_exact(const DeviceHandle& device, std::uint64_t offset, tobrin::MutableBytes out) {
    const auto result = device.read_at(offset, out);
    return result.ok() && result.bytes == out.size();
}

Expected<std::vector<std::uint8_t>> read_block(const DeviceHandle& device, std::uint64_t offset,
                                               std::uint64_t length) {
    if (length > device.size()) return Failure::too_large;
    std::vector<std::uint8_t> block(length);
    if (!read_exact(device, offset, block)) return Failure::read_failed;
    return block;
}

Expected<std::vector<std::uint8_t>> read_boot_sector(const DeviceHandle& device) {
    const std::uint32_t sector = device.geometry().bytes_per_sector;
    return read_block(device, 0, sector > 512 ? sector : 512);
}

}  // namespace volscan
