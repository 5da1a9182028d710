// Picking and slab benchmark: the ray test alone over N ellipsoids, a click turned into its console line (the eye
// ray from the GL matrices, the frame centre, the ray test and the report), and the redraw of 100,000 ellipsoids
// with the slab cut on against off.
// Usage: pick_bench [N ...]           (needs a display; under Xvfb, Mesa renders in software)
//        pick_bench --slab-only N     the slab rows alone, for N ellipsoids
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_window.h"
#include "core/geometry.h"
#include "core/pick.h"
#include "core/scene.h"
#include "core/visibility.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/pick_ray.h"
#include "tests/support/random_scene.h"

using Clock = std::chrono::steady_clock;

static double Milliseconds(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Clicks at pixels spread over the middle of the window, so that some hit and some miss.
static int ClickX(int k) { return window_width / 4 + (k * 37) % (window_width / 2); }
static int ClickY(int k) { return window_height / 4 + (k * 53) % (window_height / 2); }

static void PickRow(int n) {
    FillRandomScene(n);
    int repeats = std::max(5, std::min(101, 2000000 / n));
    std::vector<double> rayOnly, click;
    long long hits = 0;
    std::vector<double> centre = average();
    for (int k = 0; k < repeats; ++k) {
        double origin[3], direction[3];
        EyeRayAt(ClickX(k), ClickY(k), origin, direction);
        Clock::time_point start = Clock::now();
        long long atom = PickAtom(origin, direction, centre);
        rayOnly.push_back(Milliseconds(start));
        hits += atom >= 0;

        start = Clock::now();
        EyeRayAt(ClickX(k), ClickY(k), origin, direction);
        atom = PickAtom(origin, direction, average());
        std::size_t characters = 0;
        if (atom >= 0)
            for (const std::string& line : RecordPick(atom)) characters += line.size();
        click.push_back(Milliseconds(start));
        if (characters == 1) std::printf("?");  // keeps the report from being optimised away
    }
    pickedLabels.clear();
    std::printf("%-10d %7d %6lld %12.3f %14.3f\n", n, repeats, hits, Median(rayOnly), Median(click));
    std::fflush(stdout);
}

static double TimedRedraw() {
    Clock::time_point start = Clock::now();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    glFinish();
    double ms = Milliseconds(start);
    glutSwapBuffers();
    return ms;
}

// Software rendering of 100,000 ellipsoids takes seconds a frame on a loaded machine.
constexpr int SLAB_REPEATS = 3;

static void SlabRows(int n) {
    FillRandomScene(n);
    const double axis[3] = {0, 0, 1};
    SlabCut cut = {true, {0, 0, 1}, 0.0, ExtentAlong(axis) / 5};
    std::vector<double> off, on;
    TimedRedraw();
    for (int k = 0; k < SLAB_REPEATS; ++k) {
        slab.on = false;
        off.push_back(TimedRedraw());
        slab = cut;
        on.push_back(TimedRedraw());
    }
    slab.on = false;
    std::printf("redraw of %d ellipsoids, median of %d in turns: slab off %.1f ms, slab on (a fifth of the extent) "
                "%.1f ms\n", n, SLAB_REPEATS, Median(off), Median(on));
}

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix pick benchmark");
    if (argc == 3 && std::string(argv[1]) == "--slab-only") {
        SlabRows(std::atoi(argv[2]));
        return 0;
    }
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {10000, 100000, 1000000};
    std::printf("picking among N ellipsoids at 1024 x 640, start-up view; median ms per click\n");
    std::printf("%-10s %7s %6s %12s %14s\n", "ellipsoids", "clicks", "hits", "ray test", "click to line");
    for (int n : counts) PickRow(n);
    SlabRows(100000);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
