// Local order and domains of 10^6 rods in a dense two-domain nematic: the whole frame analysis (axes, cells,
// local S, union-find, numbering) on every core and on one, median of three. With a file name it also writes the
// rods (N, box length, then x y z ux uy uz per rod as doubles) for bench/local_order_scipy.py.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/local_order.h"
#include "core/scene.h"

namespace {

constexpr double DENSITY = 0.32;  // rods 3 x 1 x 1 per unit volume: about half the volume filled

// n rods at random places in a cube, along z in the lower half and along x in the upper, 0.2 rad apart.
double MakeRods(long long n) {
    const double length = std::cbrt(static_cast<double>(n) / DENSITY);
    std::mt19937_64 random(27);
    std::uniform_real_distribution<double> place(0, length);
    std::normal_distribution<double> tilt(0, 0.2);
    species = 1;
    shape = {1.5, 0.5, 0.5};
    color = {1, 0, 0};
    atoms = static_cast<int>(n);
    geom.assign(static_cast<std::size_t>(GEOM_STRIDE * n), 0.0);
    for (long long i = 0; i < n; ++i) {
        double* row = &geom[static_cast<std::size_t>(GEOM_STRIDE * i)];
        row[GEOM_LABEL] = static_cast<double>(i + 1);
        row[GEOM_TYPE] = 1;
        for (int a = 0; a < 3; ++a) row[GEOM_X + a] = place(random);
        // Body x turned to near z (lower half) or left near x (upper half), by a small random rotation.
        const bool lower = row[GEOM_X + 2] < length / 2;
        double axis[3] = {tilt(random), tilt(random), tilt(random)};
        if (lower) axis[1] += -1;  // about -y by about 90 degrees takes x to z
        const double angle = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        const double turn = lower ? M_PI / 2 : angle;
        const double s = std::sin(turn / 2) / (angle > 0 ? angle : 1);
        row[GEOM_QW] = std::cos(turn / 2);
        for (int a = 0; a < 3; ++a) row[GEOM_QW + 1 + a] = axis[a] * s;
    }
    frameBox = {true, {0, 0, 0}, {{length, 0, 0}, {0, length, 0}, {0, 0, length}}};
    return length;
}

double MedianSeconds(int threads) {
    LimitAnalysisThreads(threads);
    std::vector<double> seconds;
    for (int run = 0; run < 3; ++run) {
        ++particleDataVersion;  // as a frame read: the kept analysis is stale
        const auto start = std::chrono::steady_clock::now();
        FrameLocalOrder();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[1];
}

void WriteRods(const char* name, double length) {
    const OrientedParticles& rods = FrameParticles();
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) return;
    const double header[2] = {static_cast<double>(rods.atom.size()), length};
    std::fwrite(header, sizeof(double), 2, file);
    for (std::size_t i = 0; i < rods.atom.size(); ++i) {
        std::fwrite(&rods.position[3 * i], sizeof(double), 3, file);
        std::fwrite(&rods.axis[3 * i], sizeof(double), 3, file);
    }
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
    const long long n = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const double length = MakeRods(n);
    const double all = MedianSeconds(0), one = MedianSeconds(1);
    LimitAnalysisThreads(0);
    const FrameAnalysis& analysis = FrameLocalOrder();
    std::printf("local order + domains of %lld rods (cube %.1f, RC %.1f): %.3f s on %d threads, %.3f s on 1\n", n,
                length, analysis.cutoff, all, AnalysisThreads(), one);
    std::printf("  mean local S %.4f, %zu domains, largest %.1f%%, second %.1f%%\n", analysis.meanLocalS,
                analysis.domainSizes.size(), 100.0 * analysis.domainSizes[0] / n,
                analysis.domainSizes.size() > 1 ? 100.0 * analysis.domainSizes[1] / n : 0.0);
    if (argc > 2) WriteRods(argv[2], length);
    return 0;
}
