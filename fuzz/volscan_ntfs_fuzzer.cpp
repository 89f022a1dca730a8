// Volume engine over an NTFS partition: detection, MFT scan, extraction.
#include "volume_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tobrin::fuzz::run_volume_session({data, size}, 0x07);
    return 0;
}
