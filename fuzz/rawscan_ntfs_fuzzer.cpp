// Raw engine over an NTFS partition: boot sector or MFT located by search, record scan,
// extraction.
#include "raw_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tobrin::fuzz::run_raw_session({data, size}, 0x07);
    return 0;
}
