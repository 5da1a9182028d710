// Calls into the program's readers and renderer from Python: one at a time, with their console lines caught.
#pragma once

#include <functional>
#include <string>

#include <pybind11/pybind11.h>

// Runs work with the GIL released and every other call into the program held off; what it prints is kept
// (never shown). A fatal error raises ovalix.Error whose message is the lines printed before it.
void CallProgram(const std::function<void()>& work);
void RegisterErrors(pybind11::module_& m);  // ovalix.Error, and the fatal ending that raises it
