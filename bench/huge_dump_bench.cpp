// Huge-file benchmark: a generated dump of more than 3 GiB is opened and indexed (its console output shown
// and checked), its first, a middle and its last frame are read and checked against the generator, and the
// peak memory of the reader is compared with that of 20 and 2,000 frames of the same frame size.
//
// Usage: huge_dump_bench [--frames N] [--particles N] [--dir DIR]
//   Defaults: 1,000 particles x 50,000 frames (3.5 GB, 3.25 GiB) in a new folder under $TMPDIR (or /tmp).
//   Every file it writes is deleted at the end, also after a failure. Exit status 1 when a check fails.
// Internal: huge_dump_bench --probe FILE PARTICLES FRAMES   opens, indexes and reads FILE in a fresh process.
#include <fcntl.h>         // Required for: open
#include <spawn.h>         // Required for: posix_spawn (a fresh process per probed file)
#include <sys/resource.h>  // Required for: getrusage (peak resident set)
#include <sys/statvfs.h>   // Required for: statvfs (free disk space)
#include <sys/wait.h>      // Required for: waitpid
#include <unistd.h>        // Required for: read, close, pipe, unlink, rmdir, readlink

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
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

constexpr int DEFAULT_PARTICLES = 1000;
constexpr int DEFAULT_FRAMES = 50000;
constexpr int FEW_FRAMES = 20;
constexpr int SOME_FRAMES = 2000;
constexpr double GIB = 1024.0 * 1024.0 * 1024.0;
constexpr std::size_t IO_CHUNK = 1 << 20;
constexpr std::size_t PAGE = 4096;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;  // AddressSanitizer holds freed memory back: peak memory says nothing then
#else
constexpr bool SANITIZED = false;
#endif

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What the reader prints for a file of `frames` complete frames that ends with a line end: a dot for
// every 100 frames scanned, the reminder after every 5,000, the count of the last scan (the empty read
// after the final line end) included.
std::string ExpectedConsole(const std::string& path, int particles, int frames) {
    std::string text = "Infile " + path + " opened\nReading...";
    for (long long scanned = 2; scanned <= frames + 1LL; ++scanned) {
        if (scanned % 100 == 0) text += ".";
        if (scanned % 5000 == 0) text += "\nThis could take a while...\n";
    }
    text += "\nNumber of atoms:      " + std::to_string(particles) + "\n";
    text += "Number of time steps: " + std::to_string(frames) + " (0 - " + std::to_string(frames - 1) + ")\n";
    return text;
}

// ---- The probe: runs in a fresh process, so its peak memory is the reader's alone -------------------

// Reads one frame as a frame jump does; seconds.
double ReadFrameTimed(int which) {
    frame = which;
    infile.clear();
    auto start = std::chrono::steady_clock::now();
    ReadQuatFrame();
    return Seconds(start);
}

int Probe(const std::string& path, int particles, int frames) {
    SetGeneratedScene();
    inname = path;
    std::ostringstream console;
    std::streambuf* original = std::cout.rdbuf(console.rdbuf());
    auto start = std::chrono::steady_clock::now();
    try {
        OpenQuatFile();
    } catch (...) {
        std::cout.rdbuf(original);
        std::cout << console.str() << std::endl << "OpenQuatFile ended the program" << std::endl;
        return 1;
    }
    double indexSeconds = Seconds(start);
    std::cout.rdbuf(original);
    std::printf("index_s %.6f\n", indexSeconds);
    std::printf("offsets %zu\n", counter.size());
    std::printf("console_matches %d\n", console.str() == ExpectedConsole(path, particles, frames) ? 1 : 0);
    const int checked[3] = {0, frames / 2, frames - 1};
    const char* names[3] = {"first", "middle", "last"};
    for (int c = 0; c < 3; ++c) {
        double seconds = ReadFrameTimed(checked[c]);
        std::printf("frame_%s %d %d %.6f\n", names[c], checked[c], GeomHoldsGeneratedFrame(particles, checked[c]) ? 1 : 0,
                    seconds);
    }
    rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_kib %ld\n", usage.ru_maxrss);
    std::printf("console_begin\n%sconsole_end\n", console.str().c_str());
    return 0;
}

// ---- The parent: writes the files, runs a probe on each, prints the table ---------------------------



// The words after "key " on the probe's line that starts with it; empty when there is none.
std::vector<std::string> Field(const std::string& output, const std::string& key) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(key + " ", 0) != 0) continue;
        std::istringstream words(line.substr(key.size() + 1));
        std::vector<std::string> values;
        std::string word;
        while (words >> word) values.push_back(word);
        return values;
    }
    return {};
}

double Number(const std::string& output, const std::string& key, std::size_t index = 0) {
    std::vector<std::string> values = Field(output, key);
    return index < values.size() ? std::strtod(values[index].c_str(), nullptr) : std::nan("");
}

// Seconds of a plain newline count of the file: 1 MiB reads into a page-aligned buffer, memchr.
double CountNewlinesSeconds(const std::string& path, long long& lines) {
    auto start = std::chrono::steady_clock::now();
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char*>(std::aligned_alloc(PAGE, IO_CHUNK)), &std::free);
    lines = 0;
    ssize_t got;
    while ((got = ::read(fd, buffer.get(), IO_CHUNK)) > 0) {
        const char* p = buffer.get();
        const char* end = p + got;
        while (const void* found = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
            ++lines;
            p = static_cast<const char*>(found) + 1;
        }
    }
    ::close(fd);
    return Seconds(start);
}

struct Options {
    int particles = DEFAULT_PARTICLES;
    int frames = DEFAULT_FRAMES;
    std::string dir;
};

struct Row {
    int frames;
    double bytes;
    double writeSeconds;
    std::string output;
    int status;
};

bool RowPassed(const Row& row) {
    bool framesOk = Number(row.output, "frame_first", 1) == 1 && Number(row.output, "frame_middle", 1) == 1 &&
                    Number(row.output, "frame_last", 1) == 1;
    return row.status == 0 && Number(row.output, "console_matches") == 1 && framesOk &&
           Number(row.output, "offsets") == row.frames;
}

int Run(const Options& options, const std::string& folder) {
    int particles = options.particles;
    std::vector<int> frameCounts = {FEW_FRAMES, SOME_FRAMES, options.frames};
    std::vector<Row> rows;
    std::string hugePath;
    for (int frames : frameCounts) {
        std::string path = folder + "/frames-" + std::to_string(frames) + ".dump";
        auto start = std::chrono::steady_clock::now();
        double bytes = static_cast<double>(WriteGeneratedDump(path, particles, frames));
        double writeSeconds = Seconds(start);
        int status = -1;
        std::string output = RunChild({SelfPath(), "--probe", path, std::to_string(particles), std::to_string(frames)}, status);
        rows.push_back({frames, bytes, writeSeconds, output, status});
        if (frames == options.frames) hugePath = path;
        if (frames != options.frames) ::unlink(path.c_str());
    }
    const Row& huge = rows.back();
    long long lines = 0;
    double newlineSeconds = CountNewlinesSeconds(hugePath, lines);

    std::printf("file: %d particles x %d frames, %.2f GiB (%.0f bytes), %lld lines; written in %.1f s\n", particles,
                options.frames, huge.bytes / GIB, huge.bytes, lines, huge.writeSeconds);
    std::printf("reader console output (captured, then shown):\n");
    std::vector<std::string> consoleLines;
    std::size_t begin = huge.output.find("console_begin\n"), end = huge.output.find("console_end\n");
    if (begin != std::string::npos && end != std::string::npos)
        std::fwrite(huge.output.data() + begin + 14, 1, end - begin - 14, stdout);
    else
        std::printf("%s\n", huge.output.c_str());
    std::printf("\n");

    double indexSeconds = Number(huge.output, "index_s");
    std::printf("page cache warm (the file was just written)\n");
    std::printf("  %-44s %8.2f s  %6.0f MB/s\n", "newline count (1 MiB reads + memchr)", newlineSeconds,
                huge.bytes / 1e6 / newlineSeconds);
    std::printf("  %-44s %8.2f s  %6.0f MB/s  (%.1fx the newline count)\n", "OpenQuatFile (open + index)", indexSeconds,
                huge.bytes / 1e6 / indexSeconds, indexSeconds / newlineSeconds);
    std::printf("  %-44s %s\n", "file larger than 3 GiB", huge.bytes > 3 * GIB ? "yes" : "NO");
    std::printf("  %-44s %s\n", "console output exact (dots, reminders)",
                Number(huge.output, "console_matches") == 1 ? "yes" : "NO");
    for (const char* which : {"first", "middle", "last"})
        std::printf("  frame %-7d (%-6s) read in %7.4f s: %s\n", static_cast<int>(Number(huge.output, std::string("frame_") + which, 0)),
                    which, Number(huge.output, std::string("frame_") + which, 2),
                    Number(huge.output, std::string("frame_") + which, 1) == 1 ? "values match the generator"
                                                                                : "VALUES DIFFER FROM THE GENERATOR");

    std::printf("\npeak memory of the reader (fresh process: open, index, read first, middle and last frame)\n");
    std::printf("  %-10s %12s %10s %14s   %s\n", "frames", "file MB", "offsets", "peak RSS KiB", "checks");
    bool passed = true;
    for (const Row& row : rows) {
        bool ok = RowPassed(row);
        passed = passed && ok;
        std::printf("  %-10d %12.1f %10.0f %14.0f   %s\n", row.frames, row.bytes / 1e6, Number(row.output, "offsets"),
                    Number(row.output, "peak_rss_kib"), ok ? "console and frames as written" : "FAILED");
        if (!ok) std::printf("%s\n", row.output.c_str());
    }
    // Offsets take 8 bytes a frame (up to twice that while the table grows); one frame of geom is 72 bytes
    // an atom. The 20-frame file is shorter than two of the line reader's 1 MiB reads, so its buffer never
    // grows: the growth is judged from 2,000 frames on.
    const Row& some = rows[1];
    double growth = Number(huge.output, "peak_rss_kib") - Number(some.output, "peak_rss_kib");
    double allowed = 2.0 * 8.0 * (options.frames - SOME_FRAMES) / 1024.0 + 64.0;
    bool flat = growth <= allowed || SANITIZED;
    std::printf("  growth from %d to %d frames: %.0f KiB (offsets: at most %.0f KiB): %s\n", SOME_FRAMES, options.frames,
                growth, allowed,
                SANITIZED ? "not judged under AddressSanitizer" : flat ? "flat, offsets plus one frame" : "GROWS WITH THE FILE");
    passed = passed && flat && huge.bytes > 3 * GIB;
    return passed ? 0 : 1;
}

// Bytes the dump will take: one atom line is at most about 100 bytes.
double EstimatedBytes(int particles, int frames) { return (100.0 * particles + 300.0) * frames; }

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "--probe") return Probe(args[1], std::atoi(args[2].c_str()), std::atoi(args[3].c_str()));
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool hasValue = i + 1 < args.size();
        if (args[i] == "--frames" && hasValue) options.frames = std::atoi(args[++i].c_str());
        else if (args[i] == "--particles" && hasValue) options.particles = std::atoi(args[++i].c_str());
        else if (args[i] == "--dir" && hasValue) options.dir = args[++i];
        else {
            std::fprintf(stderr, "usage: huge_dump_bench [--frames N] [--particles N] [--dir DIR]\n");
            return 2;
        }
    }
    if (options.frames < 1 || options.particles < 1) {
        std::fprintf(stderr, "frames and particles must be at least 1\n");
        return 2;
    }
    if (options.dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        options.dir = tmp && *tmp ? tmp : "/tmp";
    }
    struct statvfs disk;
    double needed = EstimatedBytes(options.particles, options.frames) + EstimatedBytes(options.particles, SOME_FRAMES);
    if (::statvfs(options.dir.c_str(), &disk) != 0 ||
        static_cast<double>(disk.f_bavail) * static_cast<double>(disk.f_frsize) < needed * 1.2) {
        std::fprintf(stderr, "huge_dump_bench: %s has less than %.1f GiB free (or cannot be read)\n", options.dir.c_str(),
                     needed * 1.2 / GIB);
        return 2;
    }
    std::string pattern = options.dir + "/ovalix-huge-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        std::fprintf(stderr, "huge_dump_bench: cannot make a folder in %s\n", options.dir.c_str());
        return 2;
    }
    std::string folder = name.data();
    int result = 1;
    try {
        result = Run(options, folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "huge_dump_bench: %s\n", error.what());
    }
    for (int frames : {FEW_FRAMES, SOME_FRAMES, options.frames})
        ::unlink((folder + "/frames-" + std::to_string(frames) + ".dump").c_str());
    ::rmdir(folder.c_str());
    std::printf("generated files deleted (%s)\n", folder.c_str());
    return result;
}
