// Redraw benchmark: milliseconds per frame for N ellipsoids drawn by DoStuff in a 1024 x 640 window.
// Usage: redraw_bench [N ...]   (needs a display; under Xvfb, Mesa renders in software)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "app/scene.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"

// N ellipsoids of two species in a box that fills the view, with random orientations.
static void FillScene(int n) {
    species = 2;
    shape = {1.5, 0.5, 0.5, 1.0, 0.6, 0.4};
    color = {0.85, 0.2, 0.15, 0.15, 0.45, 0.85};
    bondvec.assign(6, 0.0);
    atoms = n;
    geom.assign(static_cast<std::size_t>(n) * GEOM_STRIDE, 0.0);
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

// Median time of `repeats` full redraws, each finished on the GPU (or the software renderer).
static double MillisecondsPerFrame(int repeats) {
    std::vector<double> times;
    for (int r = 0; r < repeats + 1; ++r) {
        auto start = std::chrono::steady_clock::now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        DoStuff();
        glFinish();
        auto stop = std::chrono::steady_clock::now();
        if (r > 0) times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());  // first one warms up
        glutSwapBuffers();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    glutCreateWindow("Ovalix redraw benchmark");
    MyGLInit();
    Reshape(window_width, window_height);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {1000, 10000};
    std::printf("%-12s %-10s %s\n", "ellipsoids", "repeats", "ms/frame (median)");
    for (int n : counts) {
        FillScene(n);
        int repeats = std::max(3, std::min(31, 200000 / std::max(n, 1)));
        std::printf("%-12d %-10d %.1f\n", n, repeats, MillisecondsPerFrame(repeats));
        std::fflush(stdout);
    }
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
