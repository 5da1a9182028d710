// Transparency benchmark: the redraw of N ray-cast ellipsoids by DrawPicture with one species of two at opacity
// 0.4 against all opaque, in turns in one run, in a 1024 x 640 window. The transparent half is sorted far to
// near and its records filled again at every redraw.
// Usage: transparency_bench [N ...]   (needs a display; under Xvfb, Mesa renders in software;
// TRANSPARENCY_BENCH_REPEATS=K times K pairs of redraws instead of 5 to 31)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_window.h"
#include "core/geometry.h"
#include "core/scene.h"
#include "core/transparency.h"
#include "render/picture.h"
#include "render/raycast.h"
#include "tests/support/random_scene.h"

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

static double TimedRedraw(bool transparent) {
    SetTransparencyOn(transparent);
    return TimedDrawPicture();
}

static void MeasureRow(int n) {
    FillRandomScene(n);
    raycastEllipsoids = true;
    SetSpeciesOpacity(2, 0.4);
    const char* forced = std::getenv("TRANSPARENCY_BENCH_REPEATS");
    int repeats = forced ? std::max(1, std::atoi(forced)) : std::max(5, std::min(31, 1000000 / std::max(n, 1)));
    std::vector<double> opaque, transparent;
    TimedRedraw(false);
    TimedRedraw(true);
    for (int r = 0; r < repeats; ++r) {
        bool opaqueFirst = r % 2 == 0;  // alternate the order, so neither drawing always runs first
        double first = TimedRedraw(!opaqueFirst);
        double second = TimedRedraw(opaqueFirst);
        opaque.push_back(opaqueFirst ? first : second);
        transparent.push_back(opaqueFirst ? second : first);
    }
    // The far-to-near order alone: what the transparent pass adds on the CPU besides filling its records.
    std::vector<double> sorts;
    SetTransparencyOn(true);
    double modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    std::vector<double> centre = FrameCentre();
    for (int r = 0; r < 11; ++r) {
        auto start = std::chrono::steady_clock::now();
        std::vector<TransparentPiece> order = TransparentAtomsFarToNear(modelview, centre);
        sorts.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (order.empty() && n > 1) std::abort();
    }
    const double ratio = Median(transparent) / Median(opaque);
    std::printf("%-12d %7d %12.1f %15.1f %8.3fx %9.2f   %s\n", n, repeats, Median(opaque), Median(transparent), ratio,
                Median(sorts), n == 100000 ? (ratio <= 1.5 ? "<= 1.5x met" : "<= 1.5x MISSED") : "");
    std::fflush(stdout);
    ResetTransparency();
    raycastEllipsoids = false;
}

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix transparency benchmark");
    if (!RaycastAvailable()) {
        std::printf("ray-cast ellipsoids are not available: %s\n", RaycastProblem().c_str());
        return 1;
    }
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {10000, 100000};
    std::printf("ray-cast redraw of N ellipsoids by DrawPicture, species 2 (half of them) at opacity 0.4 against all "
                "opaque, %d x %d\n", window_width, window_height);
    std::printf("%-12s %7s %12s %15s %9s %9s   %s\n", "ellipsoids", "frames", "opaque ms", "transparent ms", "ratio",
                "sort ms", "target (100000: <= 1.5x)");
    for (int n : counts) MeasureRow(n);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
