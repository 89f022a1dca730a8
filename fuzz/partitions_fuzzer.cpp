// Partition enumeration over a whole MBR/EBR disk.
#include "raw_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tobrin::fuzz::run_partition_listing({data, size});
    return 0;
}
