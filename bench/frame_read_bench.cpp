// Frame reads of one plain dump, timed finely: the same source is built against a baseline revision too
// (bench/before_after.sh), so that both readers are measured on one file in one run.
//
// Usage: frame_read_bench FILE [READS]   opens FILE, then reads READS random frames (default 60) by turns with
//                                       frame 0; prints the best and median CPU time of each in milliseconds.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>  // Required for: clock_gettime (process CPU time)
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/dump/dump_reader.h"

namespace {

double CpuMilliseconds() {
    timespec now;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return 1e3 * static_cast<double>(now.tv_sec) + 1e-6 * static_cast<double>(now.tv_nsec);
}

// CPU milliseconds of one call, its console output dropped.
template <typename Call>
double Timed(Call call) {
    std::ostringstream dropped;
    std::streambuf* original = std::cout.rdbuf(dropped.rdbuf());
    double start = CpuMilliseconds();
    call();
    double taken = CpuMilliseconds() - start;
    std::cout.rdbuf(original);
    return taken;
}

void PrintRow(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s best %9.3f ms  median %9.3f ms  (%zu reads)\n", what, ms.front(), ms[ms.size() / 2], ms.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: frame_read_bench FILE [READS]" << std::endl;
        return 2;
    }
    const int reads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    try {
        ResetScene();
        inname = argv[1];
        quat = true;
        species = 99;  // any type of the file is legal
        std::vector<double> open = {Timed(OpenQuatFile)};
        std::mt19937 random(2024);
        std::uniform_int_distribution<int> anyFrame(0, FrameCount() - 1);
        std::vector<double> first, any;
        for (int r = 0; r < reads; ++r) {
            frame = 0;
            first.push_back(Timed(ReadQuatFrame));
            frame = anyFrame(random);
            any.push_back(Timed(ReadQuatFrame));
        }
        PrintRow("OpenQuatFile", open);
        PrintRow("ReadQuatFrame, frame 0", first);
        PrintRow("ReadQuatFrame, random frame", any);
    } catch (const std::exception& error) {
        std::cerr << "frame_read_bench: " << error.what() << std::endl;
        return 1;
    }
    return 0;
}
