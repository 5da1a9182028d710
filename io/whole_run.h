// What needs more than the frame shown: ranges over every frame, a centre taken from frame 0. Each frame is
// read through the one frame reader, and the frame shown is read back, so the scene is left as it was.
#pragma once

#include <string>

bool RunQuantityRange(int quantity, double& low, double& high);  // finite min and max over every frame; false: none
std::string TakeRunRange();  // colour_by NAME all: the run's range of NAME into colourByLow and High; the lines to print
bool TakeFixedCentre();      // fixedCentrePoint from frame 0: its box centre (true), or its mean without a box
