// Dump reader benchmark: index and frame times against a plain newline count and MDAnalysis, and peak memory.
//
// Usage: dump_bench [FILE] [--no-mdanalysis]
//        dump_bench --generate FILE   only writes the 100,000 x 20 dump to FILE (for profiling or other tools)
//   Without FILE it writes a LAMMPS-style dump of 100,000 particles x 20 frames into a temporary directory.
//   It also writes two small dumps (10,000 particles x 20 and x 200 frames) to show that the reader's
//   memory does not grow with the number of frames. Every generated file is removed at the end.
// Internal: dump_bench --probe FILE  opens FILE, reads every frame, prints its own peak RSS.
#include <fcntl.h>      // Required for: open
#include <spawn.h>      // Required for: posix_spawn (probe and Python child processes)
#include <sys/wait.h>   // Required for: waitpid
#include <unistd.h>     // Required for: read, close, pipe, unlink, rmdir

#include <algorithm>
#include <chrono>
#include <ctime>        // Required for: clock_gettime (process CPU time)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>      // Required for: memchr, strerror
#include <fstream>
#include <iostream>
#include <memory>       // Required for: std::unique_ptr (the aligned read buffer)
#include <random>       // Required for: the random frames
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/scene.h"
#include "bench/child_process.h"
#include "bench/generated_dump.h"
#include "io/dump/dump_reader.h"

extern char** environ;

namespace {

constexpr int BENCH_PARTICLES = 100000;
constexpr int BENCH_FRAMES = 20;
constexpr int SMALL_PARTICLES = 10000;
constexpr int FEW_FRAMES = 20;
constexpr int MANY_FRAMES = 200;
constexpr int RANDOM_FRAME_READS = 9;    // random frame reads timed per reader
constexpr int REPEATS = 5;               // repeats of the newline count, the index and the frame 0 read
constexpr std::size_t IO_CHUNK = 1 << 20;
constexpr std::size_t PAGE = 4096;

constexpr double TARGET_INDEX_VS_NEWLINES = 3.0;   // open + index at most this many newline counts
constexpr double TARGET_OPEN_VS_MDA = 10.0;        // open at least this many times faster than MDAnalysis
constexpr double TARGET_FRAME_VS_MDA = 20.0;       // random frame at least this many times faster

const char* const PYTHON = "/usr/bin/python3";

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One measurement: wall-clock seconds and this process's CPU seconds (user + system). On a machine
// shared with other work the CPU time stays close to what the wall clock shows on an idle one.
struct Sample {
    double wall;
    double cpu;
};

struct Stopwatch {
    std::chrono::steady_clock::time_point wall;
    double cpu;
};

double ProcessCpuSeconds() {
    timespec now;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

Stopwatch StartClock() { return {std::chrono::steady_clock::now(), ProcessCpuSeconds()}; }

Sample Stop(const Stopwatch& start) { return {Seconds(start.wall), ProcessCpuSeconds() - start.cpu}; }

// Repeated measurements: best and median wall time, best CPU time.
struct Timing {
    double wallBest = std::nan("");
    double wallMedian = std::nan("");
    double cpuBest = std::nan("");
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

Timing Summarise(const std::vector<Sample>& samples) {
    std::vector<double> wall, cpu;
    for (const Sample& sample : samples) {
        wall.push_back(sample.wall);
        cpu.push_back(sample.cpu);
    }
    return {*std::min_element(wall.begin(), wall.end()), Median(wall), *std::min_element(cpu.begin(), cpu.end())};
}

// One timing row; with megabytes, also the throughput of the best CPU time.
void PrintTiming(const char* what, const Timing& timing, double megabytes = 0) {
    std::printf("  %-48s %7.3f s %7.3f s %7.3f s", what, timing.wallBest, timing.wallMedian, timing.cpuBest);
    if (megabytes > 0) std::printf("  %5.0f MB/s", megabytes / timing.cpuBest);
    std::printf("\n");
}

// ---- Plain reads ----------------------------------------------------------------------------------

struct NewlineCount {
    int64_t bytes = 0;
    int64_t lines = 0;
};

// Reads the whole file in large buffers and counts its line feeds with memchr: the floor for any line scan.
// NOTE: the buffer is page-aligned, as the file's chunks are: the kernel copies into a buffer a few bytes
// past a page boundary (where malloc puts large blocks) several times more slowly on some CPUs.
NewlineCount CountNewlines(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    char* aligned = static_cast<char*>(std::aligned_alloc(PAGE, IO_CHUNK));
    std::unique_ptr<char, decltype(&std::free)> buffer(aligned, &std::free);
    if (!buffer) throw std::runtime_error("out of memory");
    NewlineCount count;
    for (;;) {
        ssize_t got = ::read(fd, buffer.get(), IO_CHUNK);
        if (got < 0) {
            ::close(fd);
            throw std::runtime_error("cannot read " + path);
        }
        if (got == 0) break;
        count.bytes += got;
        const char* p = buffer.get();
        const char* end = p + got;
        while (const void* found = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
            ++count.lines;
            p = static_cast<const char*>(found) + 1;
        }
    }
    ::close(fd);
    return count;
}

// Peak resident set of this process in KiB (VmHWM: the high-water mark of its own address space).
long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// ---- The reader under test ------------------------------------------------------------------------

// Runs a reader call with its console output captured, so that timings are not those of a terminal.
template <typename Call>
Sample TimedQuiet(Call call, std::string* console) {
    std::ostringstream captured;
    std::streambuf* original = std::cout.rdbuf(captured.rdbuf());
    Stopwatch start = StartClock();
    try {
        call();
    } catch (...) {
        std::cout.rdbuf(original);
        std::cout << captured.str() << std::endl;
        throw;
    }
    Sample taken = Stop(start);
    std::cout.rdbuf(original);
    if (console) *console = captured.str();
    return taken;
}

void PrepareScene(const std::string& path) {
    ResetScene();
    inname = path;
    quat = true;
    species = GENERATED_SPECIES;
}

Sample ReadFrameTimed(int which) {
    frame = which;
    infile.clear();  // as the frame commands do before a jump
    return TimedQuiet(ReadQuatFrame, nullptr);
}

// Checks a frame read against the generator: labels, types, and the values of a few atoms as printed.
bool FrameMatchesGenerator(int which) {
    for (int atom : {0, 1, atoms / 2, atoms - 1}) {
        double expected[GEOM_STRIDE];
        GeneratedAtomValues(BENCH_PARTICLES, atom, which, expected);
        for (int k = 0; k < GEOM_STRIDE; ++k)
            if (geom[static_cast<std::size_t>(atom) * GEOM_STRIDE + k] != expected[k]) return false;
    }
    return true;
}

// ---- Child processes ------------------------------------------------------------------------------


// Value of "key value" in a child's output; NaN when absent.
double Field(const std::string& output, const std::string& key) {
    std::istringstream lines(output);
    std::string name;
    double value;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        if (words >> name >> value && name == key) return value;
    }
    return std::nan("");
}

// A timing the MDAnalysis script printed as NAME_best_s, NAME_median_s and NAME_cpu_best_s.
Timing PythonTiming(const std::string& output, const std::string& name) {
    return {Field(output, name + "_best_s"), Field(output, name + "_median_s"), Field(output, name + "_cpu_best_s")};
}


// Probe mode: open the file, read every frame in order, report this process's peak memory.
int Probe(const std::string& path) {
    PrepareScene(path);
    TimedQuiet(OpenQuatFile, nullptr);
    for (int f = 0; f < FrameCount(); ++f) ReadFrameTimed(f);
    std::cout << "frames " << FrameCount() << "\n"
              << "atoms " << atoms << "\n"
              << "counter_bytes " << counter.capacity() * sizeof(counter[0]) << "\n"
              << "vmhwm_kib " << PeakRssKiB() << std::endl;
    return 0;
}

struct MemoryRow {
    std::string label;
    double frames = 0;
    double peakKiB = 0;
};

MemoryRow ProbeMemory(const std::string& label, const std::string& path) {
    int status = 0;
    std::string output = RunChild({SelfPath(), "--probe", path}, status);
    if (status != 0) throw std::runtime_error("memory probe failed on " + path + ":\n" + output);
    return {label, Field(output, "frames"), Field(output, "vmhwm_kib")};
}

// One target row: the ratio of two timings by CPU time, by wall time in brackets, and whether it is met.
void PrintRatio(const char* what, const Timing& top, const Timing& bottom, double target, bool atMost) {
    double cpu = top.cpuBest / bottom.cpuBest;
    double wall = top.wallBest / bottom.wallBest;
    bool met = atMost ? cpu <= target : cpu >= target;
    std::printf("  %-60s %6.1fx (%5.1fx)   %s %3.0fx  %s\n", what, cpu, wall, atMost ? "<=" : ">=", target,
                met ? "met" : "MISSED");
}

std::string CpuModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown";
}

// The one-minute load average, as /proc/loadavg gives it.
std::string LoadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    std::string first;
    return loadavg >> first ? first : "unknown";
}

struct Options {
    std::string file;  // empty: generate one
    bool mdanalysis = true;
};

int Run(const Options& options) {
    std::string dir;
    std::vector<std::string> generated;
    auto cleanUp = [&]() {
        for (const std::string& path : generated) ::unlink(path.c_str());
        if (!dir.empty()) ::rmdir(dir.c_str());
    };
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ovalix_bench_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) throw std::runtime_error("cannot make a temporary directory from " + pattern);
    dir = name.data();

    try {
        std::cout << "Ovalix dump reader benchmark" << std::endl;
        std::cout << "machine: " << ::sysconf(_SC_NPROCESSORS_ONLN) << " cores, " << CpuModel()
                  << ", load average " << LoadAverage() << " (other work on the machine slows every figure)"
                  << std::endl;

        std::string path = options.file;
        bool ownFile = path.empty();
        if (ownFile) {
            path = dir + "/bench_100000x20.dump";
            generated.push_back(path);
            auto start = std::chrono::steady_clock::now();
            WriteGeneratedDump(path, BENCH_PARTICLES, BENCH_FRAMES);
            std::printf("generated %s (%d particles x %d frames, %d species) in %.1f s\n", path.c_str(),
                        BENCH_PARTICLES, BENCH_FRAMES, GENERATED_SPECIES, Seconds(start));
        }

        // Warm the page cache once, for every reader alike.
        NewlineCount lines = CountNewlines(path);
        double megabytes = static_cast<double>(lines.bytes) / 1e6;
        std::printf("file: %s\nfile size: %.1f MB (%lld bytes), %lld lines\n\n", path.c_str(), megabytes,
                    static_cast<long long>(lines.bytes), static_cast<long long>(lines.lines));

        std::vector<Sample> newlineTimes;
        for (int r = 0; r < REPEATS; ++r) {
            Stopwatch start = StartClock();
            CountNewlines(path);
            newlineTimes.push_back(Stop(start));
        }
        Timing newline = Summarise(newlineTimes);

        std::vector<Sample> openTimes;
        std::string console;
        for (int r = 0; r < REPEATS; ++r) {
            PrepareScene(path);
            openTimes.push_back(TimedQuiet(OpenQuatFile, &console));
        }
        Timing open = Summarise(openTimes);
        std::cout << "reader console output (shown after the timed run):" << std::endl << console << std::endl;

        std::vector<Sample> firstFrameTimes;
        for (int r = 0; r < REPEATS; ++r) firstFrameTimes.push_back(ReadFrameTimed(0));
        Timing firstFrame = Summarise(firstFrameTimes);
        int frames = FrameCount();
        std::vector<int> randomFrames;
        std::mt19937 random(2024);
        std::uniform_int_distribution<int> anyFrame(0, frames - 1);
        for (int r = 0; r < RANDOM_FRAME_READS; ++r) randomFrames.push_back(anyFrame(random));
        std::vector<Sample> frameTimes;
        bool framesMatch = true;
        for (int which : randomFrames) {
            frameTimes.push_back(ReadFrameTimed(which));
            if (ownFile) framesMatch = framesMatch && FrameMatchesGenerator(which);
        }
        Timing randomFrame = Summarise(frameTimes);
        frame = randomFrames[0];
        infile.clear();
        ReadQuatFrame();
        // A checksum of the frame for the comparison with MDAnalysis, which shifts the box to the origin.
        double minX = HUGE_VAL, sumX = 0;
        for (int i = 0; i < atoms; ++i) minX = std::min(minX, geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_X]);
        for (int i = 0; i < atoms; ++i) sumX += geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_X] - minX;

        std::string frameList;
        for (int which : randomFrames) frameList += " " + std::to_string(which);
        std::printf("timings, page cache warm, %d runs each (random frame reads: %d, frames%s)\n", REPEATS,
                    RANDOM_FRAME_READS, frameList.c_str());
        std::printf("  %-48s %9s %9s %9s\n", "", "wall best", "median", "CPU best");
        PrintTiming("newline count (1 MiB reads + memchr)", newline, megabytes);
        PrintTiming("OpenQuatFile (open + index)", open, megabytes);
        PrintTiming("ReadQuatFrame, frame 0", firstFrame);
        PrintTiming("ReadQuatFrame, random frame", randomFrame);
        if (ownFile) {
            std::printf("  frames read: %s\n",
                        framesMatch ? "values match the generator" : "VALUES DIFFER FROM THE GENERATOR");
        }

        Timing mdaOpen, mdaIndex, mdaFrame;
        bool mdaRan = false;
        if (options.mdanalysis) {
            int status = 0;
            RunChild({PYTHON, "-c", "import MDAnalysis"}, status, false);
            if (status != 0) {
                std::cout << "  MDAnalysis: not available (" << PYTHON << " -c \"import MDAnalysis\" failed), skipped"
                          << std::endl;
            } else {
                std::vector<std::string> args = {PYTHON, "-W", "ignore", OVALIX_BENCH_DIR "/mda_dump_bench.py", path};
                for (int which : randomFrames) args.push_back(std::to_string(which));
                std::string output = RunChild(args, status);
                if (status != 0) throw std::runtime_error("the MDAnalysis timing script failed:\n" + output);
                if (Field(output, "n_frames") != frames || Field(output, "n_atoms") != atoms)
                    throw std::runtime_error("MDAnalysis sees another shape of trajectory:\n" + output);
                mdaOpen = PythonTiming(output, "open");
                mdaIndex = PythonTiming(output, "index");
                mdaFrame = PythonTiming(output, "frame");
                double mdaSumX = Field(output, "sum_x_above_min");
                mdaRan = true;
                PrintTiming("MDAnalysis Universe (topology, offsets, frame 0)", mdaOpen);
                if (!std::isnan(mdaIndex.cpuBest)) PrintTiming("MDAnalysis offset scan alone (n_frames)", mdaIndex);
                PrintTiming("MDAnalysis random frame", mdaFrame);
                std::printf("  frame %d: x checksum of MDAnalysis %s\n", randomFrames[0],
                            std::fabs(mdaSumX - sumX) <= 1e-6 * sumX ? "agrees with Ovalix" : "DIFFERS FROM OVALIX");
            }
        }

        std::printf("\ntargets: ratio of the best CPU times (of the best wall times)\n");
        PrintRatio("OpenQuatFile / newline count", open, newline, TARGET_INDEX_VS_NEWLINES, true);
        if (mdaRan) {
            Timing startUp = {open.wallBest + firstFrame.wallBest, std::nan(""), open.cpuBest + firstFrame.cpuBest};
            PrintRatio("MDAnalysis Universe / Ovalix open + frame 0", mdaOpen, startUp, TARGET_OPEN_VS_MDA, false);
            if (!std::isnan(mdaIndex.cpuBest))
                PrintRatio("MDAnalysis offset scan / OpenQuatFile", mdaIndex, open, TARGET_OPEN_VS_MDA, false);
            PrintRatio("MDAnalysis random frame / ReadQuatFrame", mdaFrame, randomFrame, TARGET_FRAME_VS_MDA, false);
        } else {
            std::printf("  (MDAnalysis ratios not measured)\n");
        }

        // Memory: each figure is a separate process that opens a file and reads every frame.
        std::string few = dir + "/flat_10000x20.dump";
        std::string many = dir + "/flat_10000x200.dump";
        generated.push_back(few);
        generated.push_back(many);
        WriteGeneratedDump(few, SMALL_PARTICLES, FEW_FRAMES);
        WriteGeneratedDump(many, SMALL_PARTICLES, MANY_FRAMES);
        std::vector<MemoryRow> rows = {ProbeMemory(std::to_string(atoms) + " particles", path),
                                       ProbeMemory("10000 particles", few), ProbeMemory("10000 particles", many)};
        std::printf("\npeak RSS (VmHWM) of a process that opens the file and reads every frame\n");
        for (const MemoryRow& row : rows)
            std::printf("  %-20s x %4.0f frames   %8.1f MiB\n", row.label.c_str(), row.frames, row.peakKiB / 1024.0);
        std::printf("  growth from %d to %d frames: %+.0f KiB (geom is %.1f MiB for 100000 particles)\n", FEW_FRAMES,
                    MANY_FRAMES, rows[2].peakKiB - rows[1].peakKiB, 100000.0 * GEOM_STRIDE * 8 / 1048576.0);
        std::printf("  this benchmark process: %.1f MiB\n", PeakRssKiB() / 1024.0);
    } catch (...) {
        if (infile.is_open()) infile.close();
        cleanUp();
        throw;
    }
    if (infile.is_open()) infile.close();
    cleanUp();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        for (int k = 1; k < argc; ++k) {
            std::string arg = argv[k];
            if (arg == "--probe" && k + 1 < argc) return Probe(argv[k + 1]);
            if (arg == "--generate" && k + 1 < argc) {
                WriteGeneratedDump(argv[k + 1], BENCH_PARTICLES, BENCH_FRAMES);
                return 0;
            }
            if (arg == "--no-mdanalysis") options.mdanalysis = false;
            else if (!arg.empty() && arg[0] == '-') {
                std::cerr << "usage: dump_bench [FILE] [--no-mdanalysis] | --generate FILE" << std::endl;
                return 2;
            } else options.file = arg;
        }
        return Run(options);
    } catch (const std::exception& error) {
        std::cerr << "dump_bench: " << error.what() << std::endl;
        return 1;
    }
}
