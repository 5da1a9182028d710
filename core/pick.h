// Picking: the eye ray against each drawn ellipsoid, exactly, and the lines that describe the picks.
// Free of OpenGL; the ray comes from the drawing's matrices (render/pick_ray.h).
#pragma once

#include <string>
#include <vector>

#include "core/scene.h"  // Required for: SimulationBox

void DrawnRotation(const double* quaternion, double* matrix);  // row-major rotation the drawing applies for a quaternion
// Ray parameter t >= 0 where origin + t direction first enters the ellipsoid (centre, quaternion, half radii);
// -1 when it misses, starts inside or lies behind. One zero half radius makes a flat ellipse, two or three nothing.
double RayEllipsoidHit(const double* origin, const double* direction, const double* centre, const double* quaternion,
                       const double* half);
// The nearest shown atom (from 0) that the ray enters, in coordinates centred on `centre`; -1 for none.
long long PickAtom(const double* origin, const double* direction, const std::vector<double>& centre);
long long AtomOfLabel(double label);  // first atom (from 0) of the frame with this label; -1 for none
bool UniqueAxis(long long atom, double* axis);  // body axis whose half radius stands apart; false for a sphere
// Shortest length of the difference vector d among its periodic images in the box.
double MinimumImageLength(const double* d, const SimulationBox& box);
std::string AtomLine(long long atom);  // "Atom 17 (label 417, species 2): position (...), ..." and its quantities
// Add a pick of atom (a fourth starts a new series) and return the lines it prints: the atom, then the
// distance to the previous pick, or the angle at it, and the angle between unique axes.
std::vector<std::string> RecordPick(long long atom);
