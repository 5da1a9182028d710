// Redraw benchmark: milliseconds per frame for N ellipsoids drawn by DoStuff in a 1024 x 640 window.
// The reference drawing (every sphere tessellated anew by GLU, every ellipsoid sent) and the program's
// drawing (prebuilt shapes, ellipsoids wholly outside the view left out) are timed in turns in one run,
// first with the whole scene in view, then zoomed in so that part of it lies outside.
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
#include "render/shapes.h"

// N ellipsoids of two species in a box that fills the view, with random orientations.
static void FillScene(int n) {
    species = 2;
    shape = {1.5, 0.5, 0.5, 1.0, 0.6, 0.4};
    color = {0.85, 0.2, 0.15, 0.15, 0.45, 0.85};
    bondvec.assign(6, 0.0);
    topology.clear();
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

// One full redraw as the display loop does it, finished by the renderer; milliseconds.
static double TimedRedraw(bool reference) {
    tessellateEachShape = reference;
    cullOutsideView = !reference;
    auto start = std::chrono::steady_clock::now();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    glFinish();
    auto stop = std::chrono::steady_clock::now();
    glutSwapBuffers();
    tessellateEachShape = false;
    cullOutsideView = true;
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Presses of '+' for the zoomed-in rows: each moves the eye 2 units towards the scene.
constexpr int ZOOM_PRESSES = 75;

// Median times of both drawings of the current scene and view, and the ratio; one table row.
static void MeasureRow(int n, const char* view) {
    int repeats = std::max(5, std::min(31, 100000 / std::max(n, 1)));
    TimedRedraw(true);  // warm-up of both drawings: JIT-compiled shaders, the display lists
    TimedRedraw(false);
    long long outside = ellipsoidsOutsideView;
    std::vector<double> reference, drawing;
    for (int r = 0; r < repeats; ++r) {
        bool referenceFirst = r % 2 == 0;  // alternate the order, so neither drawing always runs first
        double first = TimedRedraw(referenceFirst);
        double second = TimedRedraw(!referenceFirst);
        reference.push_back(referenceFirst ? first : second);
        drawing.push_back(referenceFirst ? second : first);
    }
    double ratio = Median(reference) / Median(drawing);
    std::printf("%-12d %-10s %9lld %7d %12.1f %12.1f %8.2fx   %s\n", n, view, outside, repeats, Median(reference),
                Median(drawing), ratio,
                n == 10000 && view[0] == 'w' ? (ratio >= 3.0 ? ">= 3x met" : ">= 3x MISSED") : "");
    std::fflush(stdout);
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
    if (counts.empty()) counts = {1000, 10000, 50000};
    std::printf("redraw of N ellipsoids by DoStuff, %d x %d; median ms/frame, both drawings timed in turns\n",
                window_width, window_height);
    std::printf("reference: every sphere tessellated by GLU and sent; program: prebuilt lists, none outside the view\n");
    std::printf("%-12s %-10s %9s %7s %12s %12s %9s   %s\n", "ellipsoids", "view", "outside", "frames", "reference",
                "program", "ratio", "target 3x at 10000, whole");
    for (int zoomed = 0; zoomed < 2; ++zoomed) {
        glPushMatrix();
        if (zoomed) glTranslatef(0.0f, 0.0f, 2.0f * ZOOM_PRESSES);
        for (int n : counts) {
            FillScene(n);
            MeasureRow(n, zoomed ? "zoomed-in" : "whole");
        }
        glPopMatrix();
    }
    std::printf("zoomed-in: %d presses of '+' (eye %d units from the centre instead of 200)\n", ZOOM_PRESSES,
                200 - 2 * ZOOM_PRESSES);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
