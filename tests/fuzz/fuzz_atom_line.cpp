// libFuzzer target: arbitrary bytes as one atom line, read by the fast field reader and by from_chars.
#include "tests/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzAtomLineInput(data, size);
    return 0;
}
