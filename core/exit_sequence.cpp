// The fatal and the quiet ending, as the linking program set them.
#include "core/exit_sequence.h"

#include <cstdlib>
#include <iostream>

namespace {

// A program that chose no ending still stops with a failure status and never waits for a terminal.
void StopWithFailure(const std::string&) {
    std::cerr << "ovalix: stopped by the error above." << std::endl;
    std::exit(1);
}

void StopQuietly() { std::exit(0); }

}  // namespace

FatalEnding fatalEnding = StopWithFailure;
QuietEnding quietEnding = StopQuietly;

void ExitSequence(const std::string& prompt) {
    std::cout << std::flush;
    fatalEnding(prompt);
    std::abort();  // an ending that returned: nothing sound is left to do
}

void EndProcess() {
    std::cout << std::flush;
    quietEnding();
    std::abort();
}
