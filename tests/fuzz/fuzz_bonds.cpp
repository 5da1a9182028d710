// libFuzzer target: arbitrary bytes as a bond file.
#include "tests/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBondInput(data, size);
    return 0;
}
