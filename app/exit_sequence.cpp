// The program's exit sequence; tests and fuzzers link a replacement that unwinds instead.
#include "core/exit_sequence.h"

#include <cstdlib>
#include <iostream>

void ExitSequence(const std::string& prompt) {
    std::cout << prompt << std::flush;
    std::cin.clear();
    std::cin.get();
    std::exit(0);
}

void EndProcess() {
    std::cout << std::flush;
    std::exit(0);
}
