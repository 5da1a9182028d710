// GSD reader timing: open with header, index and names, then one frame with the HOOMD defaults applied.
// Run by bench/gsd_bench.sh, which writes the files with the gsd package and times gsd.hoomd beside it.
//   gsd_bench <file.gsd> <frame> [repeats]     prints medians in milliseconds; timings are never asserted
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/gsd/gsd_hoomd.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gsd_bench <file.gsd> <frame> [repeats]\n");
        return 2;
    }
    std::string path = argv[1];
    uint64_t frameNumber = std::strtoull(argv[2], nullptr, 10);
    int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    std::vector<double> opens;
    std::vector<double> reads;  // the first read faults in the frame's tables; later ones reuse them
    double checksum = 0;
    uint32_t n = 0;
    GsdFrame frame;  // kept between reads, as a viewer keeps its current frame
    for (int i = 0; i < repeats; ++i) {
        GsdFile file;
        std::string error;
        auto start = std::chrono::steady_clock::now();
        if (!OpenGsd(path, file, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        opens.push_back(Milliseconds(start));
        start = std::chrono::steady_clock::now();
        if (!ReadGsdFrame(file, frameNumber, frame, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        reads.push_back(Milliseconds(start));
        n = frame.N;
        checksum = frame.position.empty() ? 0 : frame.position.back() + frame.orientation.back();
        CloseGsd(file);
    }
    double first = reads.front();
    std::printf("ovalix  N=%u frame %llu: open+index %.3f ms, first frame read %.3f ms, later reads %.3f ms "
                "(median of %d; check %.6g)\n", n, static_cast<unsigned long long>(frameNumber), Median(opens), first,
                Median(std::vector<double>(reads.begin() + (reads.size() > 1), reads.end())), repeats, checksum);
    return 0;
}
