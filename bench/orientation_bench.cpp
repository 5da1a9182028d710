// Orientation colours benchmark: what colouring by the angle to the director costs.
// Times the order parameter of a frame (Q, S and the director) alone, and the redraw of N ellipsoids by
// DoStuff in species colours against orientation colours, in turns in one run, in a 1024 x 640 window.
// Usage: orientation_bench [N ...]   (needs a display; under Xvfb, Mesa renders in software)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/bench_window.h"
#include "core/order.h"
#include "core/scene.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"

// N rods and discs in a box that fills the view, with random orientations.
static void FillScene(int n) {
    species = 2;
    shape = {1.5, 0.5, 0.5, 0.8, 0.8, 0.2};
    color = {0.85, 0.2, 0.15, 0.15, 0.45, 0.85};
    bondvec.assign(6, 0.0);
    topology.clear();
    atoms = n;
    geom.assign(static_cast<std::size_t>(n) * GEOM_STRIDE, 0.0);
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> box(-60.0, 60.0);
    std::normal_distribution<double> gauss;
    for (int i = 0; i < n; ++i) {
        double* row = &geom[static_cast<std::size_t>(i) * GEOM_STRIDE];
        row[0] = i + 1;
        row[1] = 1 + i % 2;
        row[2] = box(random);
        row[3] = box(random) * 0.6;
        row[4] = box(random) * 0.5;
        double q[4] = {gauss(random), gauss(random), gauss(random), gauss(random)};
        double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (int k = 0; k < 4; ++k) row[5 + k] = q[k] / norm;
    }
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

static double Milliseconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// One full redraw; in orientation colours as after a frame change, so the order parameter is computed too
// (here, so that its console line is not part of the figure).
static double TimedRedraw(bool oriented) {
    colourByOrientation = oriented;
    orderFrameChanged = false;
    auto start = std::chrono::steady_clock::now();
    if (oriented) frameOrder = FrameOrder();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    glFinish();
    double ms = Milliseconds(start);
    glutSwapBuffers();
    return ms;
}

static void MeasureRow(int n) {
    FillScene(n);
    std::vector<double> order;
    for (int r = 0; r < 11; ++r) {
        auto start = std::chrono::steady_clock::now();
        OrderParameter result = FrameOrder();
        order.push_back(Milliseconds(start));
        if (!result.exists) std::abort();
    }
    int repeats = std::max(5, std::min(31, 100000 / std::max(n, 1)));
    std::vector<double> species, oriented;
    TimedRedraw(false);
    TimedRedraw(true);
    for (int r = 0; r < repeats; ++r) {
        bool speciesFirst = r % 2 == 0;  // alternate the order, so neither drawing always runs first
        double first = TimedRedraw(!speciesFirst);
        double second = TimedRedraw(speciesFirst);
        species.push_back(speciesFirst ? first : second);
        oriented.push_back(speciesFirst ? second : first);
    }
    std::printf("%-12d %12.2f %7d %12.1f %12.1f %8.2fx\n", n, Median(order), repeats, Median(species),
                Median(oriented), Median(oriented) / Median(species));
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix orientation colours benchmark");
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {1000, 10000, 50000};
    std::printf("order parameter of a frame and redraw of N ellipsoids, species against orientation colours, %d x %d\n",
                window_width, window_height);
    std::printf("%-12s %12s %7s %12s %12s %9s\n", "ellipsoids", "order ms", "frames", "species ms", "oriented ms",
                "ratio");
    for (int n : counts) MeasureRow(n);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
