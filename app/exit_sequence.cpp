// The window program's endings: its console waits for Enter so that the message stays readable.
#include "app/exit_sequence.h"

#include <cstdlib>
#include <iostream>

#include "core/exit_sequence.h"

namespace {

void WaitForEnterAndExit(const std::string& prompt) {
    std::cout << prompt << std::flush;
    std::cin.clear();
    std::cin.get();
    std::exit(0);
}

}  // namespace

void ChooseWindowEndings() {
    fatalEnding = WaitForEnterAndExit;
    quietEnding = [] { std::exit(0); };
}
