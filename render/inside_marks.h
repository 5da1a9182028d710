// What is drawn over the particles to look inside the frame: the simulation box and the marks of the picks.
#pragma once

#include <vector>

void BoxLineColour(const float* background, float* rgb);    // dark on a light background, light on a dark one
void DrawSimulationBox(const std::vector<double>& centre);  // twelve unlit edges of frameBox, when shown and known
void DrawPickMarks(const std::vector<double>& centre);      // a black-and-white ring round every shown picked atom
