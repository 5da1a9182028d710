// libFuzzer target: the gzip layer of the line reader, over text compressed from the bytes and then cut or
// damaged, or over the bytes as a compressed file; then the dump reader on the same file.
#include "tests/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzGzipInput(data, size);
    return 0;
}
