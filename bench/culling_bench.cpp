// Occlusion culling benchmark: the ray-cast redraw of a dense nematic of N rods seen whole (fitted, turned a
// little off its axes) in a 1024 x 640 window, with culling and without, in turns; medians of 5, and the share
// of rods left out.
// Usage: culling_bench [N ...]   (needs a display; under Xvfb, Mesa renders in software)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_window.h"
#include "bench/dense_nematic.h"
#include "core/scene.h"
#include "render/camera.h"
#include "core/raycast_records.h"
#include "core/view_culling.h"
#include "render/raycast.h"

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A redraw as a turn of the view makes it: the camera moves by a hair each time (to and fro), so that culling is
// worked out again instead of drawing what it kept for the camera before.
static double TimedRedraw(bool culling) {
    static double turn = 1e-3;
    TurnAboutEye(turn, 0, 1, 0);
    turn = -turn;
    occlusionCulling = culling;
    return TimedDrawPicture();
}

// The culling alone, on this side: milliseconds for the records of the frame under the current view.
static double CullingMilliseconds() {
    std::vector<RaycastRecord> records(static_cast<std::size_t>(atoms)), kept;
    records.resize(static_cast<std::size_t>(FillRaycastRecords(records.data())));
    CullingView view;
    if (!CullingViewNow(view)) return 0;
    std::vector<double> times;
    for (int r = 0; r < 5; ++r) {
        auto start = std::chrono::steady_clock::now();
        KeepVisibleRecords(records, view, kept);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return Median(times);
}

static void Measure(int n) {
    FillNematic(n);
    fixedCentre = false;
    raycastEllipsoids = true;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    TurnAboutEye(25, 0, 1, 0);
    TurnAboutEye(20, 1, 0, 0);
    FitFrameInView();
    TimedRedraw(true);  // the records go to the GPU here, once
    TimedRedraw(false);
    std::vector<double> off, on;
    for (int r = 0; r < 5; ++r) {
        bool offFirst = r % 2 == 0;
        double first = TimedRedraw(!offFirst), second = TimedRedraw(offFirst);
        off.push_back(offFirst ? first : second);
        on.push_back(offFirst ? second : first);
    }
    TimedRedraw(true);
    const double left = static_cast<double>(RaycastRecordsCulled()) / n;
    std::printf("%-9d culled %8.1f ms (culling alone %.1f ms), all drawn %8.1f ms, %.2fx faster, %.1f %% left out   %s\n",
                n, Median(on), CullingMilliseconds(), Median(off), Median(off) / Median(on), 100 * left,
                n == 1000000 ? (Median(on) <= 400 ? "<= 0.4 s met" : "<= 0.4 s MISSED") : "");
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix culling benchmark");
    std::printf("ellipsoids  redraw, ray-cast, dense nematic seen whole\n");
    if (argc < 2) {
        for (int n : {100000, 1000000}) Measure(n);
        return 0;
    }
    for (int a = 1; a < argc; ++a) Measure(std::atoi(argv[a]));
    return 0;
}
