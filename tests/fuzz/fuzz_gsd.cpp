// libFuzzer target: the GSD file layer and HOOMD frame reader over arbitrary bytes, the shape JSON scanner, and
// the viewer's load of the bytes as a GSD file named alone.
#include "tests/fuzz/fuzz_entries.h"
#include "tests/fuzz/gsd_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzGsdInput(data, size);
    FuzzGsdViewInput(data, size);
    return 0;
}
