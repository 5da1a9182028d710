// Animation benchmark: frames per second while the display loop animates a generated dump (draw, overlay,
// swap and the read of the next frame, as Display does with animation on), with the default drawing and
// with adaptive detail and ray-cast, against the time to read a frame alone, measured in the same run, so it is clear
// whether drawing or reading limits the animation.
//
// Usage: animation_bench [--particles N] [--frames N] [--seconds S]   (needs a display)
//   Defaults: 10,000 particles x 200 frames; the animation stops after S seconds (default 60; 0: never)
//   when the renderer is too slow to show every frame in that time. The dump is deleted at the end.
#include <GL/freeglut.h>
#include <unistd.h>  // Required for: unlink, rmdir

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_window.h"
#include "core/scene.h"
#include "app/startup.h"
#include "io/frame_step.h"
#include "io/trajectory.h"
#include "bench/generated_dump.h"
#include "render/gl_setup.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Every frame read in order, as the animation reads them; milliseconds per read.
std::vector<double> ReadEveryFrame(int frames) {
    std::vector<double> times;
    for (int f = 0; f < frames; ++f) {
        auto start = std::chrono::steady_clock::now();
        GoToFrame(f);
        times.push_back(Milliseconds(start));
    }
    return times;
}

struct Options {
    int particles = 10000;
    int frames = 200;
    double seconds = 60;
};

// One animation through every frame, as the display loop runs it, by default or with adaptive detail.
struct Animation {
    int shown = -1;  // frames shown; -1 when the animation went wrong
    bool timedOut = false;
    double animationMs = 0;
    double displayMs = 0;  // median of one redraw
};

double FramesPerSecond(const Animation& run) { return run.shown / (run.animationMs / 1000); }

enum Drawing { DEFAULT_DRAWING, ADAPTIVE, RAYCAST };

Animation Animate(const Options& options, Drawing drawing) {
    Animation result;
    adaptiveDetail = drawing == ADAPTIVE;
    raycastEllipsoids = drawing == RAYCAST;
    GoToFrame(0);
    animate = true;
    print = false;
    std::vector<double> displays;
    auto animationStart = std::chrono::steady_clock::now();
    for (int shown = 0; shown < options.frames; ++shown) {
        if (frame != shown) {
            std::printf("the animation is on frame %d after %d redraws\n", frame, shown);
            return result;
        }
        auto redraw = std::chrono::steady_clock::now();
        Display();
        glFinish();
        displays.push_back(Milliseconds(redraw));
        if (options.seconds > 0 && Milliseconds(animationStart) > 1000 * options.seconds && shown + 1 < options.frames) {
            result.timedOut = true;
            break;
        }
    }
    result.animationMs = Milliseconds(animationStart);
    animate = false;
    adaptiveDetail = false;
    raycastEllipsoids = false;
    result.shown = static_cast<int>(displays.size());
    result.displayMs = Median(displays);
    return result;
}

int Run(const Options& options, const std::string& path) {
    auto start = std::chrono::steady_clock::now();
    double bytes = static_cast<double>(WriteGeneratedDump(path, options.particles, options.frames));
    std::printf("dump: %d particles x %d frames, %.1f MB, written in %.1f s\n", options.particles, options.frames,
                bytes / 1e6, Milliseconds(start) / 1000);

    // The loading sequence's trajectory steps, with the reader's console output kept off the timings.
    SetGeneratedScene();
    quat = true;
    inname = path;
    std::ostringstream console;
    std::streambuf* original = std::cout.rdbuf(console.rdbuf());
    OpenFile();
    GoToFrame(0);
    std::cout.rdbuf(original);
    if (FrameCount() != options.frames || atoms != options.particles) {
        std::printf("the reader sees another trajectory:\n%s\n", console.str().c_str());
        return 1;
    }

    std::vector<double> reads = ReadEveryFrame(options.frames);  // also brings the file into the page cache
    reads = ReadEveryFrame(options.frames);

    Animation standard = Animate(options, DEFAULT_DRAWING);
    if (standard.shown < 0) return 1;
    Animation adaptive = Animate(options, ADAPTIVE);
    if (adaptive.shown < 0) return 1;
    Animation raycast = Animate(options, RAYCAST);
    if (raycast.shown < 0) return 1;

    std::vector<double> readsAfter = ReadEveryFrame(options.frames);
    reads.insert(reads.end(), readsAfter.begin(), readsAfter.end());
    double readMs = Median(reads);

    std::printf("animation (Display with animation on: clear, DoStuff, overlay %s, read of the next frame, swap)\n",
                showTS ? "on" : "off");
    for (const Animation* run : {&standard, &adaptive, &raycast}) {
        std::printf("%s\n", run == &standard ? "default drawing" : run == &adaptive ? "adaptive detail" : "ray-cast ellipsoids");
        std::printf("  frames shown                      %d of %d%s\n", run->shown, options.frames,
                    run->timedOut ? " (stopped at the time limit)" : "");
        std::printf("  frames per second                 %.2f   (%.1f s in all)\n", FramesPerSecond(*run),
                    run->animationMs / 1000);
        std::printf("  ms per animated frame (median)    %.1f\n", run->displayMs);
        std::printf("  share of a frame spent reading    %.1f %%: %s limits the animation\n",
                    100 * readMs / run->displayMs, readMs < 0.5 * run->displayMs ? "drawing" : "reading");
    }
    std::printf("  ms per frame read alone (median)  %.2f   (every frame, read twice in order, before and after)\n",
                readMs);
    std::printf("  reads alone would allow           %.0f frames per second\n", 1000 / readMs);
    double ratio = FramesPerSecond(adaptive) / FramesPerSecond(standard);
    std::printf("adaptive / default frames per second  %.2fx   %s\n", ratio, ratio >= 4 ? ">= 4x met" : ">= 4x MISSED");
    double raycastRatio = FramesPerSecond(raycast) / FramesPerSecond(adaptive);
    std::printf("ray-cast / adaptive frames per second %.2fx   %s\n", raycastRatio,
                raycastRatio >= 4 ? ">= 4x met" : ">= 4x MISSED");
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--particles" && hasValue) options.particles = std::atoi(argv[++i]);
        else if (arg == "--frames" && hasValue) options.frames = std::atoi(argv[++i]);
        else if (arg == "--seconds" && hasValue) options.seconds = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: animation_bench [--particles N] [--frames N] [--seconds S]\n");
            return 2;
        }
    }
    if (options.particles < 1 || options.frames < 2) {
        std::fprintf(stderr, "at least 1 particle and 2 frames\n");
        return 2;
    }
    OpenBenchWindow("Ovalix animation benchmark");

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ovalix-animation-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        std::fprintf(stderr, "animation_bench: cannot make a temporary folder\n");
        return 2;
    }
    std::string folder = name.data();
    std::string path = folder + "/animation.dump";
    int result = 1;
    try {
        result = Run(options, path);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "animation_bench: %s\n", error.what());
    }
    if (infile.is_open()) infile.close();
    ::unlink(path.c_str());
    ::rmdir(folder.c_str());
    return result;
}
