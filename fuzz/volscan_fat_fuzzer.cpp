// Volume engine over a FAT16 or FAT32 partition: detection, folder walk, extraction.
#include "volume_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tobrin::fuzz::run_volume_session({data, size}, 0x0C);
    return 0;
}
