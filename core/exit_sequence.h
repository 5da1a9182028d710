// The one way a fatal error ends the program, and the plain end of the process.
#pragma once

#include <string>

// Print the prompt without a line end, clear standard input's error state, wait for one character, exit 0.
[[noreturn]] void ExitSequence(const std::string& prompt = "Press Enter to exit.");

// End the process at once with status 0, without a message (an empty answer to a prompt).
[[noreturn]] void EndProcess();
