// A libFuzzer program for one target, chosen when it is built (LUMETTA_FUZZ_TARGET).
#include "tests/fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LUMETTA_FUZZ_TARGET(data, size);
    return 0;
}
