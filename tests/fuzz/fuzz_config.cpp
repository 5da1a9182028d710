// libFuzzer target: arbitrary bytes as a configuration file.
#include "tests/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzConfigInput(data, size);
    return 0;
}
