// A dense nematic for the drawing and occlusion benchmarks: rods (half radii 0.5, 0.5, 1.5) at packing fraction
// 0.46 in a periodic box.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>

#include "core/scene.h"

// Rods on a lattice along z, each moved and tilted a little; the box wraps the lattice.
inline void FillNematic(int n) {
    int side = std::max(1, static_cast<int>(std::cbrt(static_cast<double>(n)) + 0.5));
    const double dx = 1.05, dz = 3.1;
    species = 1;
    shape = {0.5, 0.5, 1.5};
    color = {0.85, 0.55, 0.2};
    bondvec.assign(3, 0.0);
    topology.clear();
    atoms = n;
    geom.assign(static_cast<std::size_t>(n) * GEOM_STRIDE, 0.0);
    std::mt19937 random(2026);
    std::normal_distribution<double> shift(0, 0.03), tilt(0, 0.08);
    for (int i = 0; i < n; ++i) {
        double* row = &geom[static_cast<std::size_t>(i) * GEOM_STRIDE];
        int x = i % side, y = (i / side) % side, z = i / (side * side);
        row[0] = i + 1;
        row[1] = 1;
        row[2] = dx * x + shift(random);
        row[3] = dx * y + shift(random);
        row[4] = dz * z + (y % 2) * 0.5 * dz + shift(random);
        double ax = tilt(random), ay = tilt(random), half = std::sqrt(ax * ax + ay * ay) / 2;
        double s = half > 0 ? std::sin(half) / (2 * half) : 0.5;
        row[5] = std::cos(half);
        row[6] = ax * s;
        row[7] = ay * s;
        row[8] = 0;
    }
    int layers = (n + side * side - 1) / (side * side);
    frameBox = {true, {-dx / 2, -dx / 2, -dz / 2}, {{dx * side, 0, 0}, {0, dx * side, 0}, {0, 0, dz * layers}}};
    ++particleDataVersion;
}

