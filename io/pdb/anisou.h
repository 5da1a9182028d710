// Ellipsoids from anisotropic displacement tensors: the tensor of the six ANISOU values, decomposed.
#pragma once

#include "core/eigen.h"  // Required for: EigenSolver

// Scale of the ANISOU integers: U is written in units of 10^-4 square angstrom.
constexpr double ANISOU_SCALE = 0.0001;

// Row-major 3 x 3 tensor A in square angstrom from the six ANISOU values U11, U22, U33, U12, U13, U23.
void AnisouTensor(const double* u, double* tensor);

// Half radii (the eigenvalues themselves, no square root) and orientation quaternion of the ANISOU values u.
void AnisouEllipsoid(EigenSolver& solver, const double* u, double* halfRadii, double* quaternion);
