#include "tests/support/random_scene.h"

#include <cmath>
#include <cstddef>
#include <random>

#include "core/scene.h"

void FillRandomScene(int n) {
    species = 2;
    shape = {1.5, 0.5, 0.5, 1.0, 0.6, 0.4};
    color = {0.85, 0.2, 0.15, 0.15, 0.45, 0.85};
    bondvec.assign(6, 0.0);
    topology.clear();
    atoms = n;
    geom.assign(static_cast<std::size_t>(n) * GEOM_STRIDE, 0.0);
    ++particleDataVersion;  // the tables were overwritten, as a frame read does
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> box(-60.0, 60.0), unit(-1.0, 1.0);
    for (int i = 0; i < n; ++i) {
        double* row = &geom[static_cast<std::size_t>(i) * GEOM_STRIDE];
        row[0] = i + 1;
        row[1] = 1 + i % 2;
        row[2] = box(random);
        row[3] = box(random) * 0.6;
        row[4] = box(random) * 0.5;
        double q[4] = {unit(random), unit(random), unit(random), unit(random)};
        double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (int k = 0; k < 4; ++k) row[5 + k] = q[k] / norm;
    }
}
