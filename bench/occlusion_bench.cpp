// Ambient occlusion benchmark: the factors of a dense nematic of N rods (half radii 0.5, 0.5, 1.5, packing
// fraction 0.46, in a periodic box) on 2 threads and on 1, median of 3, with the widest vector lanes the
// processor has, and on 2 threads with 8 and 4 lanes (8: what processors without AVX-512 get; 4 run with fused
// multiply-adds where this processor has them, faster than a processor with SSE alone runs them); then, in a
// 1024 x 640 window, the ray-cast redraw of 100,000 of them with occlusion on (factors kept) against off, in turns.
// Usage: occlusion_bench [--factors-only] [N]   (the redraw needs a display; under Xvfb, Mesa renders in software)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "bench/bench_window.h"
#include "bench/dense_nematic.h"
#include "core/occlusion.h"
#include "core/scene.h"
#include "render/picture.h"

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Wall seconds for the factors of a new frame, asked for as the program asks for them; `cpu` gets the CPU seconds
// of every thread together, which a machine shared with other work inflates far less than the wall time.
static double TimedFactors(int threads, double& cpu) {
    SetOcclusionThreads(threads);
    ++particleDataVersion;  // a frame read: the factors are worked out again
    auto start = std::chrono::steady_clock::now();
    std::clock_t cpuStart = std::clock();
    const std::vector<double>& factors = OcclusionFactors();
    cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SetOcclusionThreads(0);
    if (factors.size() != static_cast<std::size_t>(atoms)) std::abort();
    return s;
}

static void MeasureFactors(int n) {
    FillNematic(n);
    std::vector<double> blocked = BlockedFractions(2);
    double mean = 0;
    for (double b : blocked) mean += b / static_cast<double>(blocked.size());
    std::vector<double> two, one, oneCpu;
    for (int r = 0; r < 3; ++r) {
        double cpu = 0;
        two.push_back(TimedFactors(2, cpu));
        one.push_back(TimedFactors(1, cpu));
        oneCpu.push_back(cpu);
    }
    double t2 = Median(two);
    std::printf("occlusion factors, %d ellipsoids (dense nematic), 2 threads: %.3f s; 1 thread %.3f s (CPU %.3f s); "
                "mean blocked share %.3f   %s\n",
                n, t2, Median(one), Median(oneCpu), mean,
                n >= 1000000 ? (t2 <= 0.25 ? "<= 0.25 s met" : "<= 0.25 s MISSED") : "");
    for (int lanes : {8, 4}) {
        SetOcclusionLanes(lanes);
        std::vector<double> narrow;
        for (int r = 0; r < 3; ++r) {
            double cpu = 0;
            narrow.push_back(TimedFactors(2, cpu));
        }
        std::printf("  with at most %d lanes, 2 threads: %.3f s\n", lanes, Median(narrow));
    }
    SetOcclusionLanes(0);
    std::fflush(stdout);
}

static double TimedRedraw(bool occlusion) {
    ambientOcclusion = occlusion;
    return TimedDrawPicture();
}

static void MeasureRedraw(int n) {
    FillNematic(n);
    raycastEllipsoids = true;
    std::vector<double> off, on;
    TimedRedraw(true);  // the factors are worked out here, once
    TimedRedraw(false);
    for (int r = 0; r < 7; ++r) {
        bool offFirst = r % 2 == 0;
        double first = TimedRedraw(!offFirst), second = TimedRedraw(offFirst);
        off.push_back(offFirst ? first : second);
        on.push_back(offFirst ? second : first);
    }
    double ratio = Median(on) / Median(off);
    std::printf("redraw with occlusion on (factors cached) / off, %d, ray-cast: %.1f ms / %.1f ms = %.3fx   %s\n", n,
                Median(on), Median(off), ratio, ratio <= 1.1 ? "<= 1.1x met" : "<= 1.1x MISSED");
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    bool factorsOnly = argc > 1 && std::strcmp(argv[1], "--factors-only") == 0;
    int n = argc > 1 + factorsOnly ? std::atoi(argv[1 + factorsOnly]) : 1000000;
    MeasureFactors(n);
    if (factorsOnly) return 0;
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix ambient occlusion benchmark");
    MeasureRedraw(100000);
    return 0;
}
