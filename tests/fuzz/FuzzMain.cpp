// libFuzzer entry for the end-record finder and the directory reader.
#include "tests/fuzz/FuzzDirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunDirectoryInput(data, size);
    return 0;
}
