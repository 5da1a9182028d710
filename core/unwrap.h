// Unwrapped positions: a particle that crossed the periodic box is put back where its path took it.
#pragma once

#include <string>
#include <vector>

#include "core/scene.h"  // Required for: SimulationBox

// Column of each image flag (ix, iy, iz) in a quantity row; false unless all three are there.
bool FindImageFlags(const std::vector<std::string>& names, int* flagColumns);

// Adds ix a + iy b + iz c to every position of positions (GEOM_STRIDE per atom), the flags taken from
// quantities (names.size() per atom). Returns the number of atoms moved; nothing moves without all three
// flags or without a box. A flag that is not a whole finite number leaves its atom where it is.
long long UnwrapPositions(std::vector<double>& positions, const std::vector<double>& quantities,
                          const std::vector<std::string>& names, const SimulationBox& box);

std::string PrepareUnwrap(bool positionsUnwrapped);  // at load, when unwrap is asked: sets unwrapActive, returns the line to print
void UnwrapFrame();                                   // the frame in geom, when unwrapActive
