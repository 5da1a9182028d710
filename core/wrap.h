// Wrapped positions: every particle put back into the frame's box, and bonds that would cross the whole box.
// Works in fractional coordinates, so a tilted box wraps as an upright one. Free of OpenGL.
#pragma once

#include <string>
#include <vector>

#include "core/scene.h"  // Required for: SimulationBox

// Fractions s of the box edges with d = s0 a + s1 b + s2 c. An edge of length 0 (a flat 2-D box) gets 0;
// false for a box that spans no area.
bool BoxFractions(const double* d, const SimulationBox& box, double* s);
// Every position (GEOM_STRIDE per atom) moved by whole edges into the box, fractions in [0, 1) along each edge;
// returns how many moved. Nothing moves without a box; a position that is not finite stays where it is.
long long WrapPositions(std::vector<double>& positions, const SimulationBox& box);
void WrapFrame();  // the frame in geom, when wrapIntoBox
std::string ExcludeUnwrap();  // wrap wins: unwrap goes off; the line that says so, empty when unwrap was not asked
// A bond from a to b (centred on `centre`) whose ends lie more than half an edge apart crosses the box's faces:
// it becomes two half-bonds, each from its end towards the other end's nearest image, cut at the box's face.
// Only while positions are wrapped or images drawn; otherwise, and for every other bond, the one piece a to b.
// Returns the pieces (0 to 2) written to pieces[k][0] (start) and pieces[k][1] (end).
int BondPieces(const double* a, const double* b, const std::vector<double>& centre, double pieces[2][2][3]);
