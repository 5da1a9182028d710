// Atom counts that change between frames: open + index of a dump whose counts vary against a dump of the same
// size and atom lines whose count is constant; then the viewer's open + one frame of GSD files.
//   varying_bench dumps [folder]              writes both dumps (removed at the end), prints medians of 5
//   varying_bench gsd <file.gsd> <frame> [repeats]   OpenFile (GSD) + ReadFrame of one frame, medians
// Timings are printed, never asserted.
#include <unistd.h>  // Required for: getpid()

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/frame_step.h"
#include "io/trajectory.h"

namespace {

constexpr int FRAMES = 200;
constexpr int MEAN_ATOMS = 10000;

double Milliseconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Frame f holds counts[f] atoms; every atom line has the same width, so both files have the same size when the
// counts add up to the same total.
void WriteDump(const std::string& path, const std::vector<int>& counts) {
    std::ofstream out(path, std::ios::binary);
    char line[128];
    for (std::size_t f = 0; f < counts.size(); ++f) {
        out << "ITEM: TIMESTEP\n" << f * 100 << "\nITEM: NUMBER OF ATOMS\n" << counts[f]
            << "\nITEM: BOX BOUNDS pp pp pp\n0 100\n0 100\n0 100\nITEM: ATOMS id type x y z quatw quati quatj quatk\n";
        for (int i = 0; i < counts[f]; ++i) {
            std::snprintf(line, sizeof line, "%06d %d %9.4f %9.4f %9.4f 0.707107 0.000000 0.707107 0.000000\n", i + 1,
                          i % 2 + 1, (i % 100) * 1.0, (i / 100 % 100) * 1.0, f * 0.01);
            out << line;
        }
    }
}

// Median of 5 opens with stdout silenced; the "Number of atoms" line is kept to show what was read.
double TimeOpen(const std::string& path, bool varying, std::string& summary) {
    std::vector<double> times;
    for (int k = 0; k < 5; ++k) {
        ResetScene();
        inname = path;
        quat = true;
        species = 2;
        varyingAtoms = varying;
        std::ostringstream console;
        std::streambuf* kept = std::cout.rdbuf(console.rdbuf());
        auto start = std::chrono::steady_clock::now();
        OpenFile();
        times.push_back(Milliseconds(start));
        std::cout.rdbuf(kept);
        std::string text = console.str();
        std::size_t at = text.find("Number of atoms:");
        summary = text.substr(at, text.find('\n', at) - at);
        infile.close();
    }
    return Median(times);
}

int Dumps(const std::string& folder) {
    std::vector<int> constant(FRAMES, MEAN_ATOMS), varying(FRAMES);
    for (int f = 0; f < FRAMES; ++f) varying[f] = MEAN_ATOMS / 2 + (f % 2 == 0 ? f : FRAMES - f) * MEAN_ATOMS / FRAMES;
    long long total = 0;
    for (int count : varying) total += count;
    varying.back() += static_cast<int>(static_cast<long long>(MEAN_ATOMS) * FRAMES - total);  // same atom lines
    const std::string stem = folder + "/varying_bench_" + std::to_string(getpid());
    WriteDump(stem + "_constant.dump", constant);
    WriteDump(stem + "_varying.dump", varying);
    std::string constantSummary, varyingSummary;
    TimeOpen(stem + "_constant.dump", false, constantSummary);  // page cache warm for both
    TimeOpen(stem + "_varying.dump", true, varyingSummary);
    double constantMs = TimeOpen(stem + "_constant.dump", false, constantSummary);
    double varyingMs = TimeOpen(stem + "_varying.dump", true, varyingSummary);
    std::printf("%d frames, %d atom lines in all:\n  constant: %.1f ms  (%s)\n  varying:  %.1f ms  (%s)\n"
                "  varying / constant: %.3f\n", FRAMES, MEAN_ATOMS * FRAMES, constantMs, constantSummary.c_str(),
                varyingMs, varyingSummary.c_str(), varyingMs / constantMs);
    std::remove((stem + "_constant.dump").c_str());
    std::remove((stem + "_varying.dump").c_str());
    return 0;
}

int Gsd(const std::string& path, int frameNumber, int repeats) {
    std::vector<double> opens, reads;
    for (int k = 0; k < repeats; ++k) {
        ResetScene();
        inname = path;
        gsd = true;
        species = 2;
        shape.assign(6, 0.5);
        color.assign(6, 0.5);
        bondvec.assign(6, 0.0);
        std::ostringstream console;
        std::streambuf* kept = std::cout.rdbuf(console.rdbuf());
        auto start = std::chrono::steady_clock::now();
        OpenFile();
        opens.push_back(Milliseconds(start));
        start = std::chrono::steady_clock::now();
        GoToFrame(frameNumber);
        reads.push_back(Milliseconds(start));
        std::cout.rdbuf(kept);
        CloseFile();
    }
    std::printf("viewer  N=%d frame %d: OpenFile %.3f ms, ReadFrame %.3f ms (median of %d; check %.6g)\n", atoms,
                frameNumber, Median(opens), Median(reads), repeats, geom.empty() ? 0.0 : geom.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "dumps") return Dumps(argc > 2 ? argv[2] : "/tmp");
    if (mode == "gsd" && argc > 3) return Gsd(argv[2], std::atoi(argv[3]), argc > 4 ? std::max(1, std::atoi(argv[4])) : 5);
    std::fprintf(stderr, "usage: varying_bench dumps [folder] | varying_bench gsd <file.gsd> <frame> [repeats]\n");
    return 2;
}
