// libFuzzer target: atoms header names and atom lines of a two-frame dump.
#include "tests/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDumpHeaderInput(data, size);
    return 0;
}
