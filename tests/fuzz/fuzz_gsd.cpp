// libFuzzer target: the GSD file layer and HOOMD frame reader over arbitrary bytes, and the shape JSON scanner.
#include "tests/fuzz/gsd_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzGsdInput(data, size);
    return 0;
}
