// Bonds between the rotated bond origins of two atoms, as lines or as thin cylinders.
#pragma once

#include <vector>

void DrawLineBonds(int j, std::vector<double> centre);   // bond j as a 1.8-pixel line
void DrawSolidBonds(int j, std::vector<double> centre);  // bond j as a five-sided cylinder of radius bondwidth
