// Tests and fuzzers end fatal errors by unwinding back to the caller: the endings are chosen as this file loads.
#include <iostream>
#include <stdexcept>

#include "core/exit_sequence.h"

namespace {

void ThrowExitSequence(const std::string& prompt) {
    std::cout << prompt << std::flush;
    throw std::runtime_error("exit sequence");
}

void ThrowEndProcess() { throw std::runtime_error("end process"); }

const bool endingsChosen = (fatalEnding = ThrowExitSequence, quietEnding = ThrowEndProcess, true);

}  // namespace

bool TestEndingsChosen() { return endingsChosen; }
