// gzip dump benchmark: indexing a compressed dump against `gzip -dc FILE > /dev/null`, random frames from it,
// and the memory of its restart points per GiB of text.
//
// Usage: gzip_bench [FRAMES]
//   Writes a LAMMPS-style dump of 100,000 particles x FRAMES frames (default 44: over 300 MB of text) into a
//   temporary directory, compresses it with zlib at gzip's default level (6), and removes both at the end.
#include <spawn.h>         // Required for: posix_spawn (the gzip command)
#include <sys/resource.h>  // Required for: rusage (the child's CPU time)
#include <sys/wait.h>      // Required for: wait4
#include <unistd.h>        // Required for: unlink, rmdir, sysconf

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>  // Required for: clock_gettime (process CPU time)
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/scene.h"
#include "bench/generated_dump.h"
#include "io/dump/dump_reader.h"
#include "io/gzip_source.h"

extern char** environ;

namespace {

constexpr int PARTICLES = 100000;
constexpr int DEFAULT_FRAMES = 44;
constexpr int REPEATS = 3;             // of the gzip command and of the index
constexpr int RANDOM_FRAME_READS = 9;
constexpr double TARGET_INDEX_VS_GZIP = 1.5;
constexpr double TARGET_FRAME_MS = 40;
constexpr double TARGET_INDEX_MIB_PER_GIB = 16;
const char* const GZIP = "/usr/bin/gzip";

struct Sample {
    double wall;
    double cpu;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ProcessCpuSeconds() {
    timespec now;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

Sample Best(const std::vector<Sample>& samples) {
    Sample best = samples.front();
    for (const Sample& s : samples) {
        best.wall = std::min(best.wall, s.wall);
        best.cpu = std::min(best.cpu, s.cpu);
    }
    return best;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Compresses plain into compressed as `gzip -6` would, through zlib's gz functions.
void Compress(const std::string& plain, const std::string& compressed) {
    std::ifstream in(plain, std::ios::binary);
    gzFile out = gzopen(compressed.c_str(), "wb6");
    if (!in || !out) throw std::runtime_error("cannot compress " + plain);
    std::vector<char> chunk(1 << 20);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        if (gzwrite(out, chunk.data(), static_cast<unsigned>(in.gcount())) != static_cast<int>(in.gcount()))
            throw std::runtime_error("cannot write " + compressed);
    }
    if (gzclose(out) != Z_OK) throw std::runtime_error("cannot finish " + compressed);
}

// `gzip -dc path > /dev/null` in a child process: its wall time and its own CPU time.
Sample TimeGzipCommand(const std::string& path) {
    std::vector<char*> argv = {const_cast<char*>(GZIP), const_cast<char*>("-dc"), const_cast<char*>(path.c_str()),
                               nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    double start = Now();
    int spawned = posix_spawn(&pid, GZIP, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error(std::string("cannot run ") + GZIP);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("gzip -dc failed on " + path);
    double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return {Now() - start, cpu};
}

// Runs a reader call with its console output kept aside, timed by wall clock and by this process's CPU time.
template <typename Call>
Sample TimedQuiet(Call call, std::string* console = nullptr) {
    std::ostringstream captured;
    std::streambuf* original = std::cout.rdbuf(captured.rdbuf());
    double wall = Now(), cpu = ProcessCpuSeconds();
    try {
        call();
    } catch (...) {
        std::cout.rdbuf(original);
        std::cout << captured.str() << std::endl;
        throw;
    }
    Sample taken{Now() - wall, ProcessCpuSeconds() - cpu};
    std::cout.rdbuf(original);
    if (console) *console = captured.str();
    return taken;
}

std::string LoadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    std::string a, b, c;
    loadavg >> a >> b >> c;
    return a + " " + b + " " + c;
}

int Run(int frames) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ovalix_gzip_bench_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) throw std::runtime_error("cannot make a temporary directory from " + pattern);
    const std::string dir = name.data();
    const std::string plain = dir + "/bench.dump";
    const std::string compressed = dir + "/bench.dump.gz";
    auto cleanUp = [&] {
        ::unlink(plain.c_str());
        ::unlink(compressed.c_str());
        ::rmdir(dir.c_str());
    };
    try {
        std::cout << "Ovalix gzip dump benchmark; " << ::sysconf(_SC_NPROCESSORS_ONLN) << " cores, load average "
                  << LoadAverage() << " (other work on the machine slows every figure)" << std::endl;
        const double textBytes = static_cast<double>(WriteGeneratedDump(plain, PARTICLES, frames));
        Compress(plain, compressed);
        ::unlink(plain.c_str());
        std::ifstream sized(compressed, std::ios::binary | std::ios::ate);
        const double compressedBytes = static_cast<double>(sized.tellg());
        std::printf("dump of %d particles x %d frames: %.1f MB of text, %.1f MB compressed (zlib level 6)\n",
                    PARTICLES, frames, textBytes / 1e6, compressedBytes / 1e6);

        std::vector<Sample> gzipTimes, indexTimes;
        std::string console;
        for (int r = 0; r < REPEATS; ++r) {
            gzipTimes.push_back(TimeGzipCommand(compressed));
            ResetScene();
            inname = compressed;
            quat = true;
            SetGeneratedScene();
            indexTimes.push_back(TimedQuiet(OpenQuatFile, &console));
        }
        const Sample gzipBest = Best(gzipTimes), indexBest = Best(indexTimes);
        std::cout << "reader console output:" << std::endl << console;
        if (FrameCount() != frames) throw std::runtime_error("the index found " + std::to_string(FrameCount()) + " frames");
        const double indexMiB = static_cast<double>(GzipIndexBytes()) / (1 << 20);
        const double mibPerGib = indexMiB / (textBytes / (1 << 30));

        std::mt19937 random(2024);
        std::uniform_int_distribution<int> anyFrame(0, frames - 1);
        std::vector<double> frameWall, frameCpu;
        bool framesMatch = true;
        std::string frameList;
        for (int r = 0; r < RANDOM_FRAME_READS; ++r) {
            frame = anyFrame(random);
            frameList += " " + std::to_string(frame);
            infile.clear();
            Sample taken = TimedQuiet(ReadQuatFrame);
            frameWall.push_back(taken.wall);
            frameCpu.push_back(taken.cpu);
            framesMatch = framesMatch && GeomHoldsGeneratedFrame(PARTICLES, frame);
        }
        const double frameMs = 1000 * Median(frameCpu);

        std::printf("best of %d runs (wall, CPU):\n", REPEATS);
        std::printf("  %-44s %7.3f s %7.3f s  %5.0f MB/s of text\n", "gzip -dc FILE > /dev/null", gzipBest.wall,
                    gzipBest.cpu, textBytes / 1e6 / gzipBest.cpu);
        std::printf("  %-44s %7.3f s %7.3f s  %5.0f MB/s of text\n", "OpenQuatFile (inflate + index)", indexBest.wall,
                    indexBest.cpu, textBytes / 1e6 / indexBest.cpu);
        std::printf("random frames%s: median %.1f ms CPU (%.1f ms wall), slowest %.1f ms CPU; %s\n",
                    frameList.c_str(), frameMs, 1000 * Median(frameWall),
                    1000 * *std::max_element(frameCpu.begin(), frameCpu.end()),
                    framesMatch ? "values match the generator" : "VALUES DIFFER FROM THE GENERATOR");
        std::printf("index: %.2f MiB for %.0f MiB of text (restart points every %lld MiB): %.1f MiB per GiB\n",
                    indexMiB, textBytes / (1 << 20), static_cast<long long>(gzipRestartSpacing >> 20), mibPerGib);

        const double ratio = indexBest.cpu / gzipBest.cpu;
        std::printf("\ntargets\n");
        std::printf("  %-52s %6.2fx (wall %.2fx)  <= %.1fx  %s\n", "OpenQuatFile / gzip -dc, CPU time", ratio,
                    indexBest.wall / gzipBest.wall, TARGET_INDEX_VS_GZIP, ratio <= TARGET_INDEX_VS_GZIP ? "met" : "MISSED");
        std::printf("  %-52s %6.1f ms        <= %.0f ms  %s\n", "random 100,000-particle frame, median CPU", frameMs,
                    TARGET_FRAME_MS, frameMs <= TARGET_FRAME_MS ? "met" : "MISSED");
        std::printf("  %-52s %6.1f MiB       <= %.0f MiB  %s\n", "index memory per GiB of text", mibPerGib,
                    TARGET_INDEX_MIB_PER_GIB, mibPerGib <= TARGET_INDEX_MIB_PER_GIB ? "met" : "MISSED");
        std::cout << "load average at the end: " << LoadAverage() << std::endl;
        infile.close();
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        int frames = argc > 1 ? std::atoi(argv[1]) : DEFAULT_FRAMES;
        if (frames < 1) {
            std::cerr << "usage: gzip_bench [FRAMES]" << std::endl;
            return 2;
        }
        return Run(frames);
    } catch (const std::exception& error) {
        std::cerr << "gzip_bench: " << error.what() << std::endl;
        return 1;
    }
}
