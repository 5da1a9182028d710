// The parts of the module, each registering its functions and types.
#pragma once

#include <pybind11/pybind11.h>

void RegisterReading(pybind11::module_& m);    // open, Trajectory, Frame (reading.cpp)
void RegisterRendering(pybind11::module_& m);  // render, Image, order (rendering.cpp)
