// The exit sequence of the render mode: a batch job must not wait on standard input, and must see the failure.
#include <cstdlib>
#include <iostream>

#include "core/exit_sequence.h"
#include "headless/render_options.h"

void ExitSequence(const std::string&) {
    std::cout << std::flush;
    std::cerr << "ovalix --render: stopped by the error above." << std::endl;
    std::exit(RENDER_FAILURE);
}

void EndProcess() {
    std::cout << std::flush;
    std::exit(RENDER_FAILURE);
}
