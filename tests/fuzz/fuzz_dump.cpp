// libFuzzer target: arbitrary bytes as a dump trajectory.
#include "tests/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDumpInput(data, size);
    return 0;
}
