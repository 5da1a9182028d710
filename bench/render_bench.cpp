// Render-mode benchmark, all in one run on one generated dump:
//   1. frames per second of `ovalix --render` against the window's animation with printing on (Display writing
//      a PNG sequence image per frame), same trajectory, same size;
//   2. the same against an older standalone renderer given with --before (called with the same options, without
//      --render), and `--supersample 2` against 1;
//   3. the speed-up of two chunks side by side (frames split in halves) over one chunk of every frame;
//   4. peak memory (resident set of the renderer process) of a render of 10,000 frames against 1,000.
// With --drawings, only `ovalix --render --adaptive-detail` against `--raycast`, frames per second.
//
// Usage: render_bench [--particles N] [--frames N] [--size WxH] [--memory-frames N] [--before RENDERER]
//        render_bench --drawings [--particles N] [--frames N] [--size WxH]
//   (needs a display for 1.)
//   Defaults: 1,000 particles x 60 frames at 1024x640; 10,000 frames of 20 particles at 64x40 for the memory.
//   Everything it writes goes to a temporary folder that is deleted at the end.
#include <GL/freeglut.h>
#include <spawn.h>         // Required for: posix_spawn
#include <sys/resource.h>  // Required for: rusage
#include <sys/wait.h>      // Required for: wait4
#include <fcntl.h>         // Required for: O_RDONLY, O_WRONLY
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/scene.h"
#include "app/startup.h"
#include "bench/generated_dump.h"
#include "render/gl_setup.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Options {
    int particles = 1000;
    int frames = 60;
    int width = 1024;
    int height = 640;
    int memoryFrames = 10000;
    std::string before;  // an older renderer program to compare with; empty: none
    bool drawings = false;  // only adaptive detail against ray-cast
};

// A configuration for the generated dump: its two species as SetGeneratedScene gives them.
std::string WriteConfig(const fs::path& folder, const std::string& dump) {
    fs::path config = folder / (dump + ".cfg");
    std::ofstream(config) << "dumpfile " << dump << "\nspecies 2\nhalf_radii 1 1.5 0.5 0.5\nhalf_radii 2 1.0 0.6 0.4\n"
                          << "color 1 0.85 0.2 0.15\ncolor 2 0.15 0.45 0.85\nbond_vector 1 1 0 0 0\n"
                          << "bond_vector 2 1 0 0 0\nbackground 1 1 1\n";
    return config.filename().string();
}

// Starts `ovalix --render` (or the standalone renderer `program`) in `folder` with its console on /dev/null.
pid_t StartRender(const fs::path& folder, std::vector<std::string> args, const std::string& program = "") {
    if (program.empty()) args.insert(args.begin(), {OVALIX_RENDERER, "--render"});
    else args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string cwd = fs::current_path().string();
    fs::current_path(folder);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    fs::current_path(cwd);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

// Waits for a renderer; returns its peak resident set in KiB and fails unless it exited 0.
long WaitRender(pid_t pid) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("a render failed");
    return usage.ru_maxrss;
}

std::vector<std::string> RenderArgs(const Options& o, const fs::path& out, const std::string& config, int first,
                                    int last) {
    return {"--size", std::to_string(o.width) + "x" + std::to_string(o.height), "--out", out.string(), "--frames",
            std::to_string(first) + ":" + std::to_string(last), config};
}

std::size_t ImagesIn(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& item : fs::directory_iterator(folder)) n += item.path().extension() == ".png";
    return n;
}

// The window's animation with printing on, from frame 0 to the last: Display as the event loop calls it.
double WindowFramesPerSecond(const Options& o, const fs::path& folder, const std::string& config) {
    fs::path cwd = fs::current_path();
    fs::current_path(folder);
    std::ostringstream console;
    std::streambuf* original = std::cout.rdbuf(console.rdbuf());
    std::string program = "render_bench";
    std::vector<char*> argv = {program.data(), const_cast<char*>(config.c_str()), nullptr};
    MyInit(2, argv.data());
    std::cout.rdbuf(original);
    glutInitWindowSize(o.width, o.height);
    glutCreateWindow("Ovalix render benchmark");
    MyGLInit();
    Reshape(o.width, o.height);
    format = ".png";
    animate = true;
    print = true;
    auto start = std::chrono::steady_clock::now();
    for (int shown = 0; shown < o.frames; ++shown) {
        Display();
        glFinish();
    }
    double seconds = Seconds(start);
    animate = print = false;
    infile.close();
    fs::current_path(cwd);
    return o.frames / seconds;
}

// Every frame in one job, timed; `extra` options after the common ones.
double TimeOneJob(const Options& o, const fs::path& folder, const std::string& config, const std::string& name,
                  std::vector<std::string> extra, const std::string& program = "") {
    fs::path out = folder / name;
    fs::remove_all(out);
    fs::create_directories(out);
    std::vector<std::string> args = RenderArgs(o, out, config, 0, o.frames - 1);
    args.insert(args.end() - 1, extra.begin(), extra.end());
    auto start = std::chrono::steady_clock::now();
    WaitRender(StartRender(folder, args, program));
    double seconds = Seconds(start);
    if (ImagesIn(out) != static_cast<std::size_t>(o.frames)) throw std::runtime_error(name + ": images missing");
    fs::remove_all(out);
    return o.frames / seconds;
}

// The EGL renderer against an older one, and supersampling's cost.
void CompareRenderers(const Options& o, const fs::path& folder, const std::string& config, double window) {
    double now = TimeOneJob(o, folder, config, "egl", {});
    std::printf("ovalix --render (EGL)              %6.2f frames/s: %.2f x the window\n", now, now / window);
    if (!o.before.empty()) {
        double before = TimeOneJob(o, folder, config, "before", {}, o.before);
        std::printf("older renderer %-20s %6.2f frames/s: EGL is %.2f x as fast\n", fs::path(o.before).filename().c_str(),
                    before, now / before);
    }
    double two = TimeOneJob(o, folder, config, "ss2", {"--supersample", "2"});
    std::printf("ovalix --render --supersample 2    %6.2f frames/s: %.2f x the time of 1\n", two, now / two);
}

// One chunk of every frame, then the frames in two halves side by side.
void CompareChunks(const Options& o, const fs::path& folder, const std::string& config, double window,
                   const char* note) {
    fs::path one = folder / "one", two = folder / "two";
    fs::remove_all(one);
    fs::remove_all(two);
    fs::create_directories(one);
    fs::create_directories(two);
    auto start = std::chrono::steady_clock::now();
    WaitRender(StartRender(folder, RenderArgs(o, one, config, 0, o.frames - 1)));
    double single = Seconds(start);
    std::printf("ovalix --render, 1 chunk           %6.2f frames/s (%zu images): %.2f x the window%s\n",
                o.frames / single, ImagesIn(one), o.frames / single / window, note);

    start = std::chrono::steady_clock::now();
    int half = o.frames / 2;
    pid_t a = StartRender(folder, RenderArgs(o, two, config, 0, half - 1));
    pid_t b = StartRender(folder, RenderArgs(o, two, config, half, o.frames - 1));
    WaitRender(a);
    WaitRender(b);
    double split = Seconds(start);
    std::printf("ovalix --render, 2 chunks at once  %6.2f frames/s (%zu images): speed-up %.2f on %ld cores%s\n",
                o.frames / split, ImagesIn(two), single / split, sysconf(_SC_NPROCESSORS_ONLN), note);

}

// Peak resident set of renders of a tenth of the memory frames and of all of them, 20 particles at 64 x 40.
// NOTE: a spawned child starts its peak from this process's resident set, so this runs before any GL work.
void ComparePeakMemory(const Options& o, const fs::path& folder) {
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("benchmark's own resident set before spawning: %ld KiB (a floor under the peaks below)\n", self.ru_maxrss);
    Options small = o;
    small.width = 64;
    small.height = 40;
    long peaks[2] = {0, 0};
    int counts[2] = {o.memoryFrames / 10, o.memoryFrames};
    for (int k = 0; k < 2; ++k) {
        std::string dump = "memory" + std::to_string(k) + ".dump";
        WriteGeneratedDump((folder / dump).string(), 20, counts[k]);
        fs::path out = folder / ("memory" + std::to_string(k));
        fs::create_directories(out);
        auto start = std::chrono::steady_clock::now();
        peaks[k] = WaitRender(StartRender(folder, RenderArgs(small, out, WriteConfig(folder, dump), 0, counts[k] - 1)));
        std::printf("peak memory, %5d frames           %6ld KiB (%zu images in %.1f s)\n", counts[k], peaks[k],
                    ImagesIn(out), Seconds(start));
        fs::remove_all(out);
    }
    std::printf("growth from %d to %d frames      %6ld KiB\n", counts[0], counts[1], peaks[1] - peaks[0]);
}

// The offscreen frames per second of adaptive detail and of ray-cast ellipsoids, in turns, three times each.
void CompareDrawings(const Options& o, const fs::path& folder, const std::string& config) {
    std::vector<double> adaptive, raycast;
    for (int k = 0; k < 3; ++k) {
        adaptive.push_back(TimeOneJob(o, folder, config, "adaptive", {"--adaptive-detail"}));
        raycast.push_back(TimeOneJob(o, folder, config, "raycast", {"--raycast"}));
    }
    std::sort(adaptive.begin(), adaptive.end());
    std::sort(raycast.begin(), raycast.end());
    double ratio = raycast[1] / adaptive[1];
    std::printf("ovalix --render --adaptive-detail  %6.2f frames/s (median of 3)\n", adaptive[1]);
    std::printf("ovalix --render --raycast          %6.2f frames/s (median of 3): %.2f x adaptive detail   %s\n",
                raycast[1], ratio, ratio >= 4 ? ">= 4x met" : ">= 4x MISSED");
}

int Run(const Options& o, const fs::path& folder) {
    const double load = [] {
        std::ifstream f("/proc/loadavg");
        double v = 0;
        f >> v;
        return v;
    }();
    WriteGeneratedDump((folder / "bench.dump").string(), o.particles, o.frames);
    std::string config = WriteConfig(folder, "bench.dump");
    std::printf("dump: %d particles x %d frames, images %dx%d PNG; load average %.2f at the start\n", o.particles,
                o.frames, o.width, o.height, load);
    if (o.drawings) {
        CompareDrawings(o, folder, config);
        return 0;
    }

    ComparePeakMemory(o, folder);
    double window = WindowFramesPerSecond(o, folder, config);
    std::printf("window animation with printing     %6.2f frames/s (%zu sequence images)\n", window,
                ImagesIn(folder));

    CompareRenderers(o, folder, config, window);
    CompareChunks(o, folder, config, window, "");
    // llvmpipe draws with a thread per core: one thread per job is how a batch scheduler's chunks share a node.
    setenv("LP_NUM_THREADS", "1", 1);
    CompareChunks(o, folder, config, window, " (LP_NUM_THREADS=1)");
    unsetenv("LP_NUM_THREADS");

    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--particles" && hasValue) o.particles = std::atoi(argv[++i]);
        else if (arg == "--frames" && hasValue) o.frames = std::atoi(argv[++i]);
        else if (arg == "--memory-frames" && hasValue) o.memoryFrames = std::atoi(argv[++i]);
        else if (arg == "--before" && hasValue) o.before = argv[++i];
        else if (arg == "--drawings") o.drawings = true;
        else if (arg == "--size" && hasValue && std::sscanf(argv[++i], "%dx%d", &o.width, &o.height) == 2) continue;
        else {
            std::fprintf(stderr, "usage: render_bench [--particles N] [--frames N] [--size WxH] [--memory-frames N] "
                                 "[--before RENDERER] [--drawings]\n");
            return 2;
        }
    }
    if (o.particles < 1 || o.frames < 2 || o.width < 2 || o.height < 2 || o.memoryFrames < 10) {
        std::fprintf(stderr, "render_bench: at least 1 particle, 2 frames, 2x2 pixels and 10 memory frames\n");
        return 2;
    }
    const char* tmp = std::getenv("TMPDIR");
    fs::path folder = fs::path(tmp && *tmp ? tmp : "/tmp") / ("ovalix-render-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    int result = 1;
    try {
        result = Run(o, folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "render_bench: %s\n", error.what());
    }
    fs::remove_all(folder);
    return result;
}
