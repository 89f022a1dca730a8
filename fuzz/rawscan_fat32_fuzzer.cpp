// Raw engine over a FAT32 partition: layout rebuild, folder walk, extraction.
#include "raw_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tobrin::fuzz::run_raw_session({data, size}, 0x0C);
    return 0;
}
