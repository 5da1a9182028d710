// The program's exit sequence; tests and fuzzers link a replacement that unwinds instead.
#include "core/exit_sequence.h"

#include <cstdlib>
#include <iostream>

#include "core/scene.h"

// The window waits for Enter so that its console stays readable; a batch job never waits and must see the failure.
void ExitSequence(const std::string& prompt) {
    std::cout << std::flush;
    if (headless) {
        std::cerr << "ovalix --render: stopped by the error above." << std::endl;
        std::exit(1);
    }
    std::cout << prompt << std::flush;
    std::cin.clear();
    std::cin.get();
    std::exit(0);
}

void EndProcess() {
    std::cout << std::flush;
    std::exit(headless ? 1 : 0);
}
