// The one way a fatal error ends, chosen by the program that links the readers: the window waits for Enter,
// the offscreen mode exits 1, the Python module raises an exception, tests unwind.
#pragma once

#include <string>

// A fatal ending: the console already holds the explaining lines. It must not return (exit or throw).
using FatalEnding = void (*)(const std::string& prompt);
using QuietEnding = void (*)();

extern FatalEnding fatalEnding;  // called by ExitSequence; by default the process ends with status 1
extern QuietEnding quietEnding;  // called by EndProcess; by default the process ends with status 0

// End after a fatal error through fatalEnding; the window's ending prints the prompt and waits for Enter.
[[noreturn]] void ExitSequence(const std::string& prompt = "Press Enter to exit.");

// End without a message (an empty answer to a prompt) through quietEnding.
[[noreturn]] void EndProcess();
