// Test replacement of the exit sequence: it prints the prompt and unwinds back to the test.
#include <iostream>
#include <stdexcept>

#include "core/exit_sequence.h"

void ExitSequence(const std::string& prompt) {
    std::cout << prompt << std::flush;
    throw std::runtime_error("exit sequence");
}

void EndProcess() {
    std::cout << std::flush;
    throw std::runtime_error("end process");
}
