// Generated dump trajectories: every number is a hash of atom, frame and column, written as %g writes it.
#include "bench/generated_dump.h"

#include <cerrno>
#include <charconv>  // Required for: std::to_chars (the %g formatting LAMMPS uses), std::from_chars
#include <cmath>
#include <cstdio>
#include <cstring>   // Required for: strerror
#include <stdexcept>
#include <vector>

#include "core/scene.h"

namespace {

constexpr std::size_t CHUNK = 1 << 20;  // bytes written at a time
constexpr std::size_t LINE_MAX = 256;   // more than any atom line or header takes

// SplitMix64 finaliser: a stateless hash, so any atom of any frame can be generated on its own.
uint64_t Mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

double Uniform(uint64_t key) { return static_cast<double>(Mix(key) >> 11) * (1.0 / 9007199254740992.0); }

uint64_t Key(uint64_t atom, uint64_t frame, uint64_t column) { return (atom * 1000003 + frame) * 16 + column; }

// Writes v as C's %g does (6 significant digits).
char* PutReal(char* p, char* end, double v) { return std::to_chars(p, end, v, std::chars_format::general, 6).ptr; }

char* PutInt(char* p, char* end, long long v) { return std::to_chars(p, end, v).ptr; }

// One atom line: label, type, position drifting over the frames inside the box, a random unit quaternion.
char* PutAtomLine(char* p, char* end, int atom, int frame, double edge) {
    uint64_t a = static_cast<uint64_t>(atom);
    uint64_t f = static_cast<uint64_t>(frame);
    p = PutInt(p, end, atom + 1LL);
    *p++ = ' ';
    p = PutInt(p, end, 1 + static_cast<int>(Mix(Key(a, 0, 0)) % GENERATED_SPECIES));
    for (int axis = 0; axis < 3; ++axis) {
        double start = edge * Uniform(Key(a, 0, 1 + axis));
        double drift = 0.2 * frame * (Uniform(Key(a, 0, 4 + axis)) - 0.5);
        double jitter = 0.1 * (Uniform(Key(a, f, 1 + axis)) - 0.5);
        double x = std::fmod(std::fmod(start + drift + jitter, edge) + edge, edge) - 0.5 * edge;
        *p++ = ' ';
        p = PutReal(p, end, x);
    }
    double q[4], norm = 0;
    for (int k = 0; k < 4; ++k) {
        q[k] = 2 * Uniform(Key(a, f, 8 + k)) - 1;
        norm += q[k] * q[k];
    }
    norm = std::sqrt(norm > 0 ? norm : 1);
    for (int k = 0; k < 4; ++k) {
        *p++ = ' ';
        p = PutReal(p, end, q[k] / norm);
    }
    *p++ = '\n';
    return p;
}

}  // namespace

double GeneratedBoxEdge(int particles) { return std::cbrt(particles / 0.5); }

uint64_t WriteGeneratedDump(const std::string& path, int particles, int frames) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    std::vector<char> buffer(CHUNK + 16 * LINE_MAX);
    char* const begin = buffer.data();
    char* const end = begin + buffer.size();
    char* p = begin;
    uint64_t written = 0;
    bool failed = false;
    auto flush = [&]() {
        std::size_t n = static_cast<std::size_t>(p - begin);
        failed = failed || std::fwrite(begin, 1, n, out) != n;
        written += n;
        p = begin;
    };
    double edge = GeneratedBoxEdge(particles);
    for (int f = 0; f < frames && !failed; ++f) {
        p += std::snprintf(p, LINE_MAX, "ITEM: TIMESTEP\n%lld\nITEM: NUMBER OF ATOMS\n%d\nITEM: BOX BOUNDS pp pp pp\n",
                           1000LL * f, particles);
        for (int axis = 0; axis < 3; ++axis)
            p += std::snprintf(p, LINE_MAX, "%-1.16e %-1.16e\n", -0.5 * edge, 0.5 * edge);
        p += std::snprintf(p, LINE_MAX, "ITEM: ATOMS id type x y z quatw quati quatj quatk\n");
        for (int i = 0; i < particles; ++i) {
            p = PutAtomLine(p, end, i, f, edge);
            if (p >= begin + CHUNK) flush();
        }
    }
    flush();
    if (std::fclose(out) != 0 || failed) throw std::runtime_error("cannot finish " + path + " (disk full?)");
    return written;
}

void GeneratedAtomValues(int particles, int atom, int frame, double* values) {
    char line[LINE_MAX];
    char* end = PutAtomLine(line, line + sizeof line, atom, frame, GeneratedBoxEdge(particles));
    const char* p = line;
    for (int k = 0; k < GEOM_STRIDE; ++k) {
        while (*p == ' ') ++p;
        p = std::from_chars(p, end, values[k]).ptr;
    }
}

bool GeomHoldsGeneratedFrame(int particles, int frame) {
    if (atoms != particles || geom.size() != static_cast<std::size_t>(particles) * GEOM_STRIDE) return false;
    double values[GEOM_STRIDE];
    for (int i = 0; i < particles; ++i) {
        GeneratedAtomValues(particles, i, frame, values);
        for (int k = 0; k < GEOM_STRIDE; ++k)
            if (geom[static_cast<std::size_t>(i) * GEOM_STRIDE + k] != values[k]) return false;
    }
    return true;
}

void SetGeneratedScene() {
    species = GENERATED_SPECIES;
    shape = {1.5, 0.5, 0.5, 1.0, 0.6, 0.4};
    color = {0.85, 0.2, 0.15, 0.15, 0.45, 0.85};
    bondvec.assign(3 * GENERATED_SPECIES, 0.0);
    topology.clear();
}
