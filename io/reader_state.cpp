// The readers' state of the current run, made before main so that every reader finds one.
#include "io/reader_state.h"

#include "io/gzip_source.h"

ReaderState* readers = NewReaderState();

ReaderState* NewReaderState() { return new ReaderState(); }

void DeleteReaderState(ReaderState* state) {
    if (state == nullptr) return;
    CloseGsd(state->gsd.openGsd);
    DeleteGzipState(state->lines.gzip);
    delete state;
}
