// libFuzzer entry of one target; the build names its run function in LARK_FUZZ_RUN.
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LARK_FUZZ_RUN(data, size);
    return 0;
}
