// Ambient occlusion from the true ellipsoids. Each shown particle casts OCCLUSION_DIRECTIONS rays, one from each
// of a fixed set of points of its own surface (evenly spread points of the unit sphere, stretched by the half
// radii), outward along the surface normal there for the occlusion distance. A ray is blocked when it meets another
// shown ellipsoid, tested exactly (in single precision) by the quadratic form that maps that ellipsoid onto the
// unit sphere. Candidates come from a grid of cells, each listing the ellipsoids whose bounding boxes reach into
// it: first those of the cell holding the particle's centre, each tested against all its rays at once; then, for
// the rays still open, those of the cells each ray passes through, many tested at once. Each ray is weighted by
// the share of surface its point stands for, so the blocked share is one of surface, as the eye sees it.
// Where the frame has a box, positions are wrapped into it and the ellipsoids near a face get images beyond the
// opposite face, so that neighbours across the boundary occlude by their nearest image.
#include "core/occlusion.h"

#include <algorithm>
#include <array>
#include <climits>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

#include "core/geometry.h"
#include "core/parallel.h"
#include "core/scene.h"
#include "core/visibility.h"

namespace {

// An ellipsoid as the rays meet it and as it casts its own.
struct Occluder {
    double centre[3];
    float turn[9];    // its rotation, row-major: column k is body axis k
    float half[3];    // its half radii
    float radius;     // of its bounding sphere
    float form[6];    // the quadratic form (xx, yy, zz, xy, xz, yz) that is 1 on its surface: v . form v
    float extent[3];  // half extents of its bounding box along the scene axes
};

// What a cell keeps of each occluder that reaches into it, field by field: its centre from the cell's low
// corner, its form, and its number among the occluders.
enum CellField { CELL_X, CELL_Y, CELL_Z, FORM_XX, FORM_YY, FORM_ZZ, FORM_XY, FORM_XZ, FORM_YZ, CELL_OCCLUDER, CELL_FIELDS };

// An occluder's number as a cell keeps it: with a bit of the exponent set, so that the lanes past a cell's last
// entry, which read it as a float, read an ordinary number. A denormal there slows the arithmetic severalfold.
constexpr uint32_t NUMBER_MARK = 0x40000000u;

// Cells two ray lengths wide: the cell holding a particle's centre then lists most of the neighbours that block
// its rays (in a dense nematic, about two thirds of the rays are blocked there), and a ray crosses few others.
constexpr double CELL_WIDTH = 2.0;

// Vector arithmetic on 16, 8 or 4 lanes at once, which the compiler splits into what the processor's vector
// unit holds.
typedef float Floats16 __attribute__((vector_size(16 * sizeof(float))));
typedef float Floats8 __attribute__((vector_size(8 * sizeof(float))));
typedef float Floats4 __attribute__((vector_size(4 * sizeof(float))));
typedef uint32_t Bits16 __attribute__((vector_size(16 * sizeof(uint32_t))));
typedef uint32_t Bits8 __attribute__((vector_size(8 * sizeof(uint32_t))));
typedef uint32_t Bits4 __attribute__((vector_size(4 * sizeof(uint32_t))));
constexpr int WIDEST_LANES = 16;

// The cells, each listing the occluders whose boxes reach into it: cell c holds entries first[c] to
// first[c + 1], stored from fields[CELL_FIELDS * first[c]] on as one run per field, so that one pass of
// vector arithmetic tests a ray against many occluders.
struct CellGrid {
    double lo[3] = {0, 0, 0};
    double size = 1;
    long long count[3] = {1, 1, 1};
    std::vector<uint32_t> first;
    std::vector<float> fields;
};

// The frame's box as far as it wraps: which edges are periodic, and the map to fractions of the edges.
struct Periodicity {
    bool periodic[3] = {false, false, false};
    double origin[3] = {0, 0, 0};
    double edges[3][3] = {};
    double toFraction[3][3] = {};  // rows: fraction k = toFraction[k] . (x - origin)
    double margin[3] = {0, 0, 0};  // in fractions: how near a face an ellipsoid needs an image beyond the other
};

int threadsWanted = 0;
int lanesWanted = 0;
long long computations = 0;

// What the kept shares and factors were worked out from.
struct OcclusionCache {
    long long version = -1;
    int atoms = -1;
    std::vector<double> shape;
    std::vector<unsigned char> hidden;
    SlabCut slab = {false, {0, 0, 0}, 0, 0};
    bool fixedCentre = false;  // the frame centre the slab is placed from: the mean of geom, or this point
    double fixedPoint[3] = {0, 0, 0};
    bool boxExists = false;
    double box[12] = {};
    std::vector<double> blocked;
    double strength = -1;
    std::vector<double> factors;
    long long factorsVersion = 0;
};
OcclusionCache cache;

int threadsUsed = 1;  // threads of the computation under way

// body(first, end) over 0 .. count in chunks, on threadsUsed threads. Each index is worked on alone, so the
// results do not depend on the number of threads.
template <typename Body>
void ParallelFor(std::size_t count, Body body, std::size_t chunk = 1024) {
    std::atomic<std::size_t> nextChunk{0};
    auto work = [&]() {
        for (std::size_t begin = nextChunk.fetch_add(chunk); begin < count; begin = nextChunk.fetch_add(chunk))
            body(begin, std::min(begin + chunk, count));
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threadsUsed && static_cast<std::size_t>(t) * chunk < count; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

// floor for the grid's own coordinates, which are small: without SSE 4.1, std::floor is a call into the library.
inline long long FloorOf(double x) {
    long long truncated = static_cast<long long>(x);
    return truncated - (x < static_cast<double>(truncated));
}

// std::floor without a call into the library (which it is without SSE 4.1), for any double: from 2^52 on, all are whole.
inline double FloorWhole(double x) {
    if (!(std::fabs(x) < 4503599627370496.0)) return x;
    const double truncated = static_cast<double>(static_cast<long long>(x));
    return truncated - (x < truncated ? 1.0 : 0.0);
}

// Half radii of species n as drawn (a negative one mirrors the same surface); false for a flat or broken one.
bool HalfRadii(int n, double* half) {
    for (int k = 0; k < 3; ++k) half[k] = std::fabs(entry(shape, SPECIES_STRIDE * (n - 1LL) + k, "shape"));
    return half[0] > 0 && half[1] > 0 && half[2] > 0 && FitsInFloat(half, 3);
}

// The computation's tables, kept from frame to frame: for a million particles they take a few hundred
// megabytes, and the system hands out fresh memory far slower than the rays use it.
struct Scratch {
    std::vector<unsigned char> verdicts;   // per atom: left out, shown, or of a species that does not exist
    std::vector<long long> shown;          // the atoms shown, in order
    double largestHalfRadius = 0;          // among the species of those
    std::vector<double> centres;           // wrapped into the box, 3 a shown atom
    std::vector<unsigned char> nearFaces;  // bit k: near the low face across edge k; bit k + 3: near the high one
    std::vector<uint32_t> cellOf;          // the cell each shown atom lies in
    std::vector<uint32_t> order;           // shown atoms by cell, in shown order within one
    std::vector<uint32_t> cellStart;
    std::vector<uint32_t> imageStart;      // where each ordered atom's images go among the occluders
    std::vector<Occluder> occluders;       // the ordered shown atoms, then their images
    std::vector<std::array<uint32_t, 6>> ranges;  // the cells each occluder's box reaches
    std::vector<uint32_t> threadCounts;
    CellGrid grid;
};
Scratch scratch;

// Per species n, from 3 n on: its half radii where its atoms may occlude (not hidden, a real shape); else 0s.
std::vector<double> OccludingHalfRadii() {
    std::vector<double> halves(3 * (static_cast<std::size_t>(std::max(species, 0)) + 1), 0.0);
    for (int n = 1; n <= species; ++n) {
        double* half = &halves[3 * static_cast<std::size_t>(n)];
        if (SpeciesHidden(n) || !HalfRadii(n, half)) std::fill(half, half + 3, 0.0);
    }
    return halves;
}

// The atoms that occlude and are shaded: shown, with a finite position and a real shape, listed in order, and the
// largest half radius among their species. Blocks of atoms are judged on every core, then listed each into its
// place; an atom of a species that does not exist is reported, the first one first.
const std::vector<long long>& ShownAtoms() {
    enum Verdict : unsigned char { LEFT_OUT, SHOWN, NO_SUCH_SPECIES };
    const std::vector<double> halves = OccludingHalfRadii();
    std::vector<double> largestOf(halves.size() / 3);
    for (std::size_t n = 0; n < largestOf.size(); ++n)
        largestOf[n] = std::max({halves[3 * n], halves[3 * n + 1], halves[3 * n + 2]});
    const std::vector<double> centre = slab.on ? FrameCentre() : std::vector<double>(3, 0.0);  // the slab's alone
    std::vector<unsigned char>& verdicts = scratch.verdicts;
    verdicts.resize(static_cast<std::size_t>(std::max(atoms, 0)));
    constexpr std::size_t BLOCK = 16384;
    const std::size_t blocks = (verdicts.size() + BLOCK - 1) / BLOCK;
    std::vector<std::size_t> listedBefore(blocks + 1, 0);  // first each block's count of shown atoms
    std::vector<double> largestIn(blocks, 0.0);
    std::vector<unsigned char> strayIn(blocks, 0);  // holds an atom of a species that does not exist
    auto blockEnd = [&](std::size_t b) { return std::min(verdicts.size(), (b + 1) * BLOCK); };
    ParallelFor(blocks, [&](std::size_t firstBlock, std::size_t endBlock) {
        for (std::size_t b = firstBlock; b < endBlock; ++b) {  // each block's results written once: no core waits on another
            std::size_t count = 0;
            double largest = 0;
            for (std::size_t i = b * BLOCK; i < blockEnd(b); ++i) {
                const double* row = GeomRow(static_cast<long long>(i));
                const double type = row[GEOM_TYPE];
                if (!(type >= 1 && type < species + 1.0)) {
                    verdicts[i] = NO_SUCH_SPECIES;
                    strayIn[b] = 1;
                    continue;
                }
                const std::size_t n = static_cast<std::size_t>(type);
                const bool shown =
                    halves[3 * n] > 0 && FitsInFloat(row + GEOM_X, 3) && AtomShown(static_cast<long long>(i), centre);
                verdicts[i] = shown ? SHOWN : LEFT_OUT;
                if (shown) largest = std::max(largest, largestOf[n]);
                count += shown;
            }
            listedBefore[b + 1] = count;
            largestIn[b] = largest;
        }
    }, 1);
    for (std::size_t b = 0; b < blocks; ++b) {
        if (!strayIn[b]) continue;
        for (std::size_t i = b * BLOCK; i < blockEnd(b); ++i)
            if (verdicts[i] == NO_SUCH_SPECIES) AtomSpecies(static_cast<long long>(i));  // reports it and ends
    }
    for (std::size_t b = 0; b < blocks; ++b) listedBefore[b + 1] += listedBefore[b];
    std::vector<long long>& shown = scratch.shown;
    shown.resize(listedBefore[blocks]);
    ParallelFor(blocks, [&](std::size_t firstBlock, std::size_t endBlock) {
        for (std::size_t b = firstBlock; b < endBlock; ++b) {
            std::size_t next = listedBefore[b];
            for (std::size_t i = b * BLOCK; i < blockEnd(b); ++i)
                if (verdicts[i] == SHOWN) shown[next++] = static_cast<long long>(i);
        }
    }, 1);
    scratch.largestHalfRadius = blocks > 0 ? *std::max_element(largestIn.begin(), largestIn.end()) : 0.0;
    return shown;
}

// The box's periodic edges: those whose box is at least `reach` thick across them, so that one image a side
// is enough (a thin box, such as that of a 2-D run, does not wrap across its thin direction).
Periodicity BoxPeriodicity(double reach) {
    Periodicity box;
    if (!frameBox.exists) return box;
    const double(*e)[3] = frameBox.edges;
    double cross[3][3];
    for (int k = 0; k < 3; ++k) {
        const double* u = e[(k + 1) % 3];
        const double* v = e[(k + 2) % 3];
        cross[k][0] = u[1] * v[2] - u[2] * v[1];
        cross[k][1] = u[2] * v[0] - u[0] * v[2];
        cross[k][2] = u[0] * v[1] - u[1] * v[0];
    }
    double volume = e[0][0] * cross[0][0] + e[0][1] * cross[0][1] + e[0][2] * cross[0][2];
    if (!std::isfinite(volume) || volume == 0) return box;
    for (int k = 0; k < 3; ++k) {
        box.origin[k] = frameBox.origin[k];
        for (int j = 0; j < 3; ++j) {
            box.edges[k][j] = e[k][j];
            box.toFraction[k][j] = cross[k][j] / volume;
        }
        double area = std::sqrt(cross[k][0] * cross[k][0] + cross[k][1] * cross[k][1] + cross[k][2] * cross[k][2]);
        double thickness = std::fabs(volume) / area;
        box.periodic[k] = std::isfinite(thickness) && thickness >= reach && std::isfinite(box.origin[k]);
        box.margin[k] = reach / thickness;
    }
    return box;
}

// The position put back into the box along its periodic edges; its fractions in `fraction`.
void WrapIntoBox(const Periodicity& box, const double* position, double* wrapped, double* fraction) {
    double relative[3];
    for (int k = 0; k < 3; ++k) relative[k] = position[k] - box.origin[k];
    for (int k = 0; k < 3; ++k) {
        fraction[k] = box.toFraction[k][0] * relative[0] + box.toFraction[k][1] * relative[1] + box.toFraction[k][2] * relative[2];
        double shift = box.periodic[k] && std::isfinite(fraction[k]) ? FloorWhole(fraction[k]) : 0.0;
        fraction[k] -= shift;
        for (int j = 0; j < 3; ++j) relative[j] -= shift * box.edges[k][j];
    }
    for (int k = 0; k < 3; ++k) wrapped[k] = box.origin[k] + relative[k];
}

// The drawn rotation of a stored quaternion as a row-major matrix: glRotate's turn by 2 acos(w) about the
// vector part, worked out without trigonometry (cos(acos w) = w, sin(acos w) = sqrt(1 - w^2)).
void DrawnTurn(const double* quaternion, double* matrix) {
    double w = quaternion[0];
    const double* v = quaternion + 1;
    double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (std::isnan(w) || w > 1) w = 1;
    if (w < -1) w = -1;
    double q[4] = {1, 0, 0, 0};
    if (length > 1e-300 && std::isfinite(length) && w != 1) {
        double s = std::sqrt(1 - w * w) / length;
        q[0] = w;
        for (int k = 0; k < 3; ++k) q[k + 1] = v[k] * s;
    }
    QuaternionMatrix(q, matrix);
}

// The occluder of a shown atom at `centre`, turned by `turn`, its species' half radii `half` and their inverse
// squares.
void MakeOccluder(const double* turn, const double* centre, const double* half, const double* inverseSquare, Occluder& o) {
    for (int k = 0; k < 3; ++k) {
        o.centre[k] = centre[k];
        o.half[k] = static_cast<float>(half[k]);
    }
    for (int k = 0; k < 9; ++k) o.turn[k] = static_cast<float>(turn[k]);
    o.radius = static_cast<float>(std::max({half[0], half[1], half[2]}));
    // Body axis k is column k of the turn: the form is the sum of axis axis^T / half^2.
    const int pairs[6][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}};
    for (int p = 0; p < 6; ++p) {
        double sum = 0;
        for (int k = 0; k < 3; ++k) sum += turn[3 * pairs[p][0] + k] * turn[3 * pairs[p][1] + k] * inverseSquare[k];
        o.form[p] = static_cast<float>(sum);
    }
    for (int j = 0; j < 3; ++j) {  // row j of the turn holds component j of each body axis
        double sum = 0;
        for (int k = 0; k < 3; ++k) sum += turn[3 * j + k] * turn[3 * j + k] * half[k] * half[k];
        o.extent[j] = static_cast<float>(std::sqrt(sum) * (1 + 1e-6));  // rounded outward: the box holds it
    }
}


void WrapShownAtoms(const std::vector<long long>& shown, const Periodicity& box) {
    scratch.centres.resize(3 * shown.size());
    scratch.nearFaces.resize(shown.size());
    ParallelFor(shown.size(), [&](std::size_t first, std::size_t end) {
        for (std::size_t s = first; s < end; ++s) {
            double fraction[3];
            WrapIntoBox(box, GeomRow(shown[s]) + GEOM_X, &scratch.centres[3 * s], fraction);
            unsigned char near = 0;
            for (int k = 0; k < 3; ++k) {
                if (!box.periodic[k]) continue;
                if (fraction[k] < box.margin[k]) near |= 1 << k;
                else if (fraction[k] > 1 - box.margin[k]) near |= 1 << (k + 3);
            }
            scratch.nearFaces[s] = near;
        }
    });
}

// Cells `size` wide over the points, coarser where that would make far more cells than `most`.
void FitCells(const double* lo, const double* hi, double size, double most, double& sizeUsed, long long* count) {
    for (int tries = 0; tries < 200; ++tries) {
        double cells = 1;
        for (int k = 0; k < 3; ++k) cells *= std::floor((hi[k] - lo[k]) / size) + 1;
        if (cells <= most) break;
        size *= std::max(1.1, std::cbrt(cells / most));
    }
    for (int k = 0; k < 3; ++k) count[k] = static_cast<long long>(std::floor((hi[k] - lo[k]) / size)) + 1;
    sizeUsed = size;
}

// The shown atoms in the order of the cells `size` wide they lie in, so that neighbours lie near each other in
// memory when the rays look them up: a counting sort, which keeps atoms of one cell in shown order.
void OrderByPlace(std::size_t count, double size) {
    const double* c = scratch.centres.data();
    double lo[3] = {c[0], c[1], c[2]}, hi[3] = {c[0], c[1], c[2]};
    for (std::size_t s = 0; s < count; ++s)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[3 * s + k]);
            hi[k] = std::max(hi[k], c[3 * s + k]);
        }
    long long cells[3];
    FitCells(lo, hi, size, 2.0 * static_cast<double>(count) + 4096.0, size, cells);
    scratch.cellOf.resize(count);
    ParallelFor(count, [&](std::size_t first, std::size_t end) {
        for (std::size_t s = first; s < end; ++s) {
            long long cell[3];
            for (int k = 0; k < 3; ++k)
                cell[k] = std::clamp(FloorOf((c[3 * s + k] - lo[k]) / size), 0LL, cells[k] - 1);
            scratch.cellOf[s] = static_cast<uint32_t>((cell[2] * cells[1] + cell[1]) * cells[0] + cell[0]);
        }
    });
    scratch.cellStart.assign(static_cast<std::size_t>(cells[0] * cells[1] * cells[2]) + 1, 0);
    for (std::size_t s = 0; s < count; ++s) ++scratch.cellStart[scratch.cellOf[s] + 1];
    for (std::size_t k = 1; k < scratch.cellStart.size(); ++k) scratch.cellStart[k] += scratch.cellStart[k - 1];
    scratch.order.resize(count);
    for (std::size_t s = 0; s < count; ++s) scratch.order[scratch.cellStart[scratch.cellOf[s]]++] = static_cast<uint32_t>(s);
}

// The images one atom near periodic faces needs: one for every non-empty set of the faces it is near.
int ImageCount(unsigned char near) {
    int edges = 0;
    for (int k = 0; k < 3; ++k) edges += (near >> k & 1) | (near >> (k + 3) & 1);
    return (1 << edges) - 1;
}

void AddImages(const Periodicity& box, const Occluder& o, unsigned char near, Occluder* images) {
    for (int m = 1; m < 8; ++m) {  // every non-empty subset of the near faces
        bool used = true;
        double shift[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            if (!(m & (1 << k))) continue;
            int side = near >> k & 1 ? 1 : near >> (k + 3) & 1 ? -1 : 0;  // an image one edge up from the low face
            used = used && side != 0;
            for (int j = 0; j < 3; ++j) shift[j] += side * box.edges[k][j];
        }
        if (!used) continue;
        *images = o;
        for (int j = 0; j < 3; ++j) images->centre[j] += shift[j];
        ++images;
    }
}

// The corners of the box that holds every occluder's bounding sphere: low x, y, z, then high.
typedef std::array<double, 6> Reach;

void Widen(Reach& reach, const Reach& more) {
    for (int k = 0; k < 3; ++k) {
        reach[k] = std::min(reach[k], more[k]);
        reach[k + 3] = std::max(reach[k + 3], more[k + 3]);
    }
}

void Widen(Reach& reach, const Occluder& o) {
    const double* c = o.centre;
    Widen(reach, Reach{c[0] - o.radius, c[1] - o.radius, c[2] - o.radius, c[0] + o.radius, c[1] + o.radius, c[2] + o.radius});
}

// The ordered shown atoms, then the images of those near a periodic face, each right after the one before;
// returns how far they reach.
Reach MakeOccluders(const std::vector<long long>& shown, const Periodicity& box) {
    const std::size_t count = shown.size();
    scratch.imageStart.resize(count + 1);
    scratch.imageStart[0] = static_cast<uint32_t>(count);
    for (std::size_t s = 0; s < count; ++s)
        scratch.imageStart[s + 1] = scratch.imageStart[s] + ImageCount(scratch.nearFaces[scratch.order[s]]);
    scratch.occluders.resize(scratch.imageStart[count]);
    const std::vector<double> halves = OccludingHalfRadii();
    std::vector<double> inverseSquares(halves.size());
    for (std::size_t k = 0; k < halves.size(); ++k) {
        const double inverse = halves[k] > 0 ? 1 / halves[k] : 0.0;
        inverseSquares[k] = inverse * inverse;
    }
    constexpr std::size_t CHUNK = 1024;
    const double inf = std::numeric_limits<double>::infinity();
    const Reach nowhere = {inf, inf, inf, -inf, -inf, -inf};
    std::vector<Reach> reachOf((count + CHUNK - 1) / CHUNK, nowhere);  // per chunk
    ParallelFor(count, [&](std::size_t first, std::size_t end) {
        Reach reach = nowhere;  // written back once: no core waits on another
        constexpr std::size_t BATCH = 16;
        double turns[BATCH][9];
        for (std::size_t s = first; s < end; ++s) {
            if ((s - first) % BATCH == 0)  // the turns of many atoms at once, so that their square roots overlap
                for (std::size_t b = s; b < std::min(end, s + BATCH); ++b)
                    DrawnTurn(GeomRow(shown[scratch.order[b]]) + GEOM_QW, turns[b - s]);
            uint32_t index = scratch.order[s];
            const long long atom = shown[index];
            const std::size_t type = static_cast<std::size_t>(GeomRow(atom)[GEOM_TYPE]);
            Occluder& o = scratch.occluders[s];
            const double* turn = turns[(s - first) % BATCH];
            MakeOccluder(turn, &scratch.centres[3 * index], &halves[3 * type], &inverseSquares[3 * type], o);
            Widen(reach, o);
            if (scratch.imageStart[s + 1] > scratch.imageStart[s])
                AddImages(box, o, scratch.nearFaces[index], &scratch.occluders[scratch.imageStart[s]]);
            for (uint32_t m = scratch.imageStart[s]; m < scratch.imageStart[s + 1]; ++m) Widen(reach, scratch.occluders[m]);
        }
        reachOf[first / CHUNK] = reach;
    }, CHUNK);
    Reach reach = nowhere;
    for (const Reach& more : reachOf) Widen(reach, more);
    return reach;
}

void CellRange(const CellGrid& grid, const Occluder& o, long long* low, long long* high) {
    const float* extent = o.extent;
    for (int k = 0; k < 3; ++k) {
        low[k] = std::clamp<long long>(FloorOf((o.centre[k] - extent[k] - grid.lo[k]) / grid.size), 0,
                                       grid.count[k] - 1);
        high[k] = std::clamp<long long>(FloorOf((o.centre[k] + extent[k] - grid.lo[k]) / grid.size), 0,
                                        grid.count[k] - 1);
    }
}

long long CellIndex(const CellGrid& grid, long long x, long long y, long long z) {
    return (z * grid.count[1] + y) * grid.count[0] + x;
}

// Writes an occluder into a cell as its entry `slot`: its centre from the cell's low corner, its form, its number.
void PlaceInCell(CellGrid& grid, const Occluder& o, uint32_t number, const long long* cell, std::size_t c, uint32_t slot) {
    const uint32_t n = grid.first[c + 1] - grid.first[c];
    float* entry = &grid.fields[CELL_FIELDS * static_cast<std::size_t>(grid.first[c]) + slot];
    for (int k = 0; k < 3; ++k) entry[(CELL_X + k) * n] = static_cast<float>(o.centre[k] - (grid.lo[k] + cell[k] * grid.size));
    for (int p = 0; p < 6; ++p) entry[(FORM_XX + p) * n] = o.form[p];
    const uint32_t marked = number | NUMBER_MARK;
    std::memcpy(entry + CELL_OCCLUDER * n, &marked, sizeof marked);
}

// Cells CELL_WIDTH ray lengths wide, each listing the occluders whose boxes reach into it, in occluder order:
// a counting sort, each thread counting and placing a run of occluders of its own.
void MakeGrid(CellGrid& grid, const std::vector<Occluder>& occluders, const Reach& reach, double length) {
    const double* hi = &reach[3];
    std::copy(reach.begin(), reach.begin() + 3, grid.lo);
    FitCells(grid.lo, hi, CELL_WIDTH * length, 4.0 * static_cast<double>(occluders.size()) + 4096.0, grid.size, grid.count);
    const std::size_t cells = static_cast<std::size_t>(grid.count[0] * grid.count[1] * grid.count[2]);
    const std::size_t runs = static_cast<std::size_t>(threadsUsed);
    const std::size_t run = (occluders.size() + runs - 1) / runs;
    scratch.ranges.resize(occluders.size());
    scratch.threadCounts.assign(runs * cells, 0);
    auto eachCell = [&](const std::array<uint32_t, 6>& r, auto visit) {
        long long cell[3];
        for (cell[2] = r[2]; cell[2] <= r[5]; ++cell[2])
            for (cell[1] = r[1]; cell[1] <= r[4]; ++cell[1])
                for (cell[0] = r[0]; cell[0] <= r[3]; ++cell[0])
                    visit(cell, static_cast<std::size_t>(CellIndex(grid, cell[0], cell[1], cell[2])));
    };
    ParallelFor(runs, [&](std::size_t firstRun, std::size_t endRun) {
        for (std::size_t t = firstRun; t < endRun; ++t) {
            uint32_t* counts = &scratch.threadCounts[t * cells];
            long long low[3], high[3];
            for (std::size_t i = t * run; i < std::min(occluders.size(), (t + 1) * run); ++i) {
                CellRange(grid, occluders[i], low, high);
                std::array<uint32_t, 6>& r = scratch.ranges[i];
                for (int k = 0; k < 3; ++k) {
                    r[k] = static_cast<uint32_t>(low[k]);
                    r[k + 3] = static_cast<uint32_t>(high[k]);
                }
                eachCell(r, [&](const long long*, std::size_t c) { ++counts[c]; });
            }
        }
    }, 1);
    grid.first.resize(cells + 1);
    uint32_t placed = 0;
    for (std::size_t c = 0; c < cells; ++c) {  // each thread's counts become where its run starts in the cell
        grid.first[c] = placed;
        for (std::size_t t = 0; t < runs; ++t) {
            uint32_t n = scratch.threadCounts[t * cells + c];
            scratch.threadCounts[t * cells + c] = placed;
            placed += n;
        }
    }
    grid.first[cells] = placed;
    // A pass reads a vector's entries of a field at once, past the end of the last cell's.
    grid.fields.resize(CELL_FIELDS * static_cast<std::size_t>(placed) + WIDEST_LANES);
    ParallelFor(runs, [&](std::size_t firstRun, std::size_t endRun) {
        for (std::size_t t = firstRun; t < endRun; ++t) {
            uint32_t* next = &scratch.threadCounts[t * cells];
            for (std::size_t i = t * run; i < std::min(occluders.size(), (t + 1) * run); ++i)
                eachCell(scratch.ranges[i], [&](const long long* cell, std::size_t c) {
                    PlaceInCell(grid, occluders[i], static_cast<uint32_t>(i), cell, c, next[c]++ - grid.first[c]);
                });
        }
    }, 1);
}

// A particle's rays, one a column: where they start from the particle's centre, their directions, and the
// products of the directions' components a form is weighed with (xx, yy, zz, 2xy, 2xz, 2yz).
struct SurfaceRayTable {
    alignas(64) float offset[3][OCCLUSION_DIRECTIONS];
    alignas(64) float direction[3][OCCLUSION_DIRECTIONS];
    alignas(64) float products[6][OCCLUSION_DIRECTIONS];
};

// Lanes of F pass by reference only: how a processor without registers that wide would pass them is not fixed.
// They are read as one vector from any float's address: copied bytewise instead, the AVX2 build copies them in
// halves through memory and reads them back whole, which stalls each read on processors that cannot forward two
// stores to one load.
template <typename F>
[[gnu::always_inline]] inline void LoadLanes(const float* from, F& lanes) {
    typedef F Unaligned __attribute__((aligned(alignof(float)), may_alias));
    lanes = *reinterpret_cast<const Unaligned*>(from);
}

// Is the sign bit of any lane set? Halves are or'ed together: that much the compiler keeps in vector registers.
[[gnu::always_inline]] inline bool AnySign(const Bits4& lanes) { return ((lanes[0] | lanes[1] | lanes[2] | lanes[3]) >> 31) != 0; }

[[gnu::always_inline]] inline bool AnySign(const Bits8& lanes) {
    return AnySign(Bits4(__builtin_shufflevector(lanes, lanes, 0, 1, 2, 3) | __builtin_shufflevector(lanes, lanes, 4, 5, 6, 7)));
}

[[gnu::always_inline]] inline bool AnySign(const Bits16& lanes) {
    return AnySign(Bits8(__builtin_shufflevector(lanes, lanes, 0, 1, 2, 3, 4, 5, 6, 7) |
                         __builtin_shufflevector(lanes, lanes, 8, 9, 10, 11, 12, 13, 14, 15)));
}

// The unit sphere's points the rays start from: an even spread (a Fibonacci lattice), one a column.
struct SpherePoints {
    alignas(64) float u[3][OCCLUSION_DIRECTIONS];
};

const SpherePoints& OcclusionPoints() {
    static const SpherePoints points = [] {
        SpherePoints made;
        const double golden = pi * (3.0 - std::sqrt(5.0));
        for (int k = 0; k < OCCLUSION_DIRECTIONS; ++k) {
            double z = 1.0 - (2.0 * k + 1.0) / OCCLUSION_DIRECTIONS, r = std::sqrt(1.0 - z * z);
            made.u[0][k] = static_cast<float>(r * std::cos(golden * k));
            made.u[1][k] = static_cast<float>(r * std::sin(golden * k));
            made.u[2][k] = static_cast<float>(z);
        }
        return made;
    }();
    return points;
}

// A shape's rays in its own frame, the same for every particle of that shape: from each point u of the unit sphere
// stretched onto the ellipsoid, outward along its normal there, u / half. The surface a point stands for grows with
// that normal's length (the stretched sphere's area per solid angle): the ray's weight.
struct BodyRays {
    float half[3];
    alignas(64) float start[3][OCCLUSION_DIRECTIONS];
    alignas(64) float normal[3][OCCLUSION_DIRECTIONS];  // not of unit length
    alignas(64) float inverseWeight[OCCLUSION_DIRECTIONS];
    alignas(64) float weight[OCCLUSION_DIRECTIONS];
    double totalWeight;
};

template <typename F>
[[gnu::always_inline]] inline void MakeBodyRays(const float* half, BodyRays& made) {
    constexpr int width = sizeof(F) / sizeof(float);
    static_assert(OCCLUSION_DIRECTIONS % width == 0, "a particle's rays fill whole vectors");
    const SpherePoints& points = OcclusionPoints();
    std::copy(half, half + 3, made.half);
    for (int first = 0; first < OCCLUSION_DIRECTIONS; first += width) {
        F u[3];
        for (int j = 0; j < 3; ++j) LoadLanes(&points.u[j][first], u[j]);
        const F body[3] = {half[0] * u[0], half[1] * u[1], half[2] * u[2]};
        const F normal[3] = {u[0] * (1.0f / half[0]), u[1] * (1.0f / half[1]), u[2] * (1.0f / half[2])};
        const F squared = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
        F weight = {};
        for (int k = 0; k < width; ++k) weight[k] = std::sqrt(squared[k]);
        const F inverseWeight = 1.0f / weight;
        for (int j = 0; j < 3; ++j) {
            std::memcpy(&made.start[j][first], &body[j], sizeof body[j]);
            std::memcpy(&made.normal[j][first], &normal[j], sizeof normal[j]);
        }
        std::memcpy(&made.inverseWeight[first], &inverseWeight, sizeof inverseWeight);
        std::memcpy(&made.weight[first], &weight, sizeof weight);
    }
    made.totalWeight = 0;
    for (int k = 0; k < OCCLUSION_DIRECTIONS; ++k) made.totalWeight += made.weight[k];
}

// The body rays of the last few shapes met: particles of one shape mostly come in runs, and a frame has few shapes.
struct BodyRayCache {
    static constexpr int SLOTS = 4;
    BodyRays kept[SLOTS];
    int filled = 0;
    int next = 0;
};

template <typename F>
[[gnu::always_inline]] inline const BodyRays& BodyRaysOf(const float* half, BodyRayCache& cache) {
    for (int k = 0; k < cache.filled; ++k)
        if (std::memcmp(cache.kept[k].half, half, sizeof cache.kept[k].half) == 0) return cache.kept[k];
    BodyRays& made = cache.kept[cache.next];
    cache.next = (cache.next + 1) % BodyRayCache::SLOTS;
    cache.filled = std::min(cache.filled + 1, BodyRayCache::SLOTS);
    MakeBodyRays<F>(half, made);
    return made;
}

// A particle's rays, its shape's body rays turned as its occluder was made, a lane of F each.
template <typename F>
[[gnu::always_inline]] inline void SurfaceRays(const float* turn, const BodyRays& body, double length, SurfaceRayTable& rays) {
    constexpr int width = sizeof(F) / sizeof(float);
    const float lift = static_cast<float>(1e-5 * length);  // off the surface: rounding cannot start it inside a touching neighbour
    for (int first = 0; first < OCCLUSION_DIRECTIONS; first += width) {
        F start[3], normal[3], inverseWeight;
        for (int j = 0; j < 3; ++j) {
            LoadLanes(&body.start[j][first], start[j]);
            LoadLanes(&body.normal[j][first], normal[j]);
        }
        LoadLanes(&body.inverseWeight[first], inverseWeight);
        F d[3];
        for (int j = 0; j < 3; ++j) {
            const float* row = turn + 3 * j;
            d[j] = (row[0] * normal[0] + row[1] * normal[1] + row[2] * normal[2]) * inverseWeight;
            const F offset = row[0] * start[0] + row[1] * start[1] + row[2] * start[2] + lift * d[j];
            std::memcpy(&rays.offset[j][first], &offset, sizeof offset);
            std::memcpy(&rays.direction[j][first], &d[j], sizeof d[j]);
        }
        const F products[6] = {d[0] * d[0], d[1] * d[1], d[2] * d[2], 2 * d[0] * d[1], 2 * d[0] * d[2], 2 * d[1] * d[2]};
        for (int j = 0; j < 6; ++j) std::memcpy(&rays.products[j][first], &products[j], sizeof products[j]);
    }
}

// A ray's start from a cell's low corner, along axis k; the same for a ray alone and in a lane.
[[gnu::always_inline]] inline float CentreFrom(const double* centre, const CellGrid& grid, long long cell, int k) {
    return static_cast<float>(centre[k] - (grid.lo[k] + cell * grid.size));
}

// Does the ray meet the ellipsoid within `length`, or start inside it? Sets the sign bit of each lane where it
// does. Exact, in single precision: with v the centre from the ray's start, d its direction (dd the products of its
// components, as in the ray table) and F the form, the points start + t d meet the ellipsoid where
// a t^2 - 2 b t + c = 0, a = d.Fd, b = v.Fd, c = v.Fv - 1. Many rays against one ellipsoid (Form a float, Dir
// lanes) or one ray against many (Form lanes, Dir a float). The tests are read from sign bits (x < 0 as a set sign
// bit), as the compiler keeps them in vector registers for any unit.
template <typename F, typename B, typename Form, typename Dir>
[[gnu::always_inline]] inline void RayMeets(const F* v, const Form* form, const Dir* d, const Dir* dd, float length, B& meets) {
    const Form &xx = form[0], &yy = form[1], &zz = form[2], &xy = form[3], &xz = form[4], &yz = form[5];
    const F fx = xx * v[0] + xy * v[1] + xz * v[2], fy = xy * v[0] + yy * v[1] + yz * v[2], fz = xz * v[0] + yz * v[1] + zz * v[2];
    const F c = v[0] * fx + v[1] * fy + v[2] * fz - 1.0f;
    const F b = d[0] * fx + d[1] * fy + d[2] * fz;
    const F a = xx * dd[0] + yy * dd[1] + zz * dd[2] + (xy * dd[3] + xz * dd[4] + yz * dd[5]);
    const F disc = b * b - a * c;
    // Starts inside; or heads towards it, meets it, and enters it within the length: b - length a < sqrt(disc).
    const F beyond = b - length * a;
    meets = (B)c | (~(B)b & ~(B)disc & ((B)beyond | (B)(beyond * beyond - disc)));
}

// Which of a particle's rays (bit k: ray k) does an occluder but `self` among a cell's n entries block? The same
// test (RayMeets), with each entry tested against as many rays at once as F has lanes. `centre` is the
// particle's centre from the cell's low corner.
template <typename F, typename B>
[[gnu::always_inline]] inline uint32_t CellBlocksRays(const float* cell, uint32_t n, const SurfaceRayTable& rays, const float* centre,
                                                      float length, uint32_t self) {
    constexpr int width = sizeof(F) / sizeof(float);
    uint32_t blocked = 0;
    for (int first = 0; first < OCCLUSION_DIRECTIONS; first += width) {
        F from[3], d[3], dd[6];
        for (int j = 0; j < 3; ++j) {
            LoadLanes(&rays.offset[j][first], from[j]);
            from[j] += centre[j];
            LoadLanes(&rays.direction[j][first], d[j]);
        }
        for (int j = 0; j < 6; ++j) LoadLanes(&rays.products[j][first], dd[j]);
        B any = {};
        for (uint32_t e = 0; e < n; ++e) {
            const float* f = cell + e;
            uint32_t number;
            std::memcpy(&number, f + CELL_OCCLUDER * n, sizeof number);
            if (number == self) continue;
            const float form[6] = {f[FORM_XX * n], f[FORM_YY * n], f[FORM_ZZ * n], f[FORM_XY * n], f[FORM_XZ * n], f[FORM_YZ * n]};
            const F v[3] = {f[CELL_X * n] - from[0], f[CELL_Y * n] - from[1], f[CELL_Z * n] - from[2]};
            B meets;
            RayMeets(v, form, d, dd, length, meets);
            any |= meets;
        }
        for (int k = 0; k < width; ++k) blocked |= (any[k] >> 31) << (first + k);
    }
    return blocked;
}

inline bool InsideGrid(const CellGrid& grid, const long long* cell) {
    for (int k = 0; k < 3; ++k)
        if (cell[k] < 0 || cell[k] >= grid.count[k]) return false;
    return true;
}

// A cell's entries: where they start among the fields, and in `n` how many.
[[gnu::always_inline]] inline const float* CellEntries(const CellGrid& grid, const long long* cell, uint32_t& n) {
    const std::size_t c = static_cast<std::size_t>(CellIndex(grid, cell[0], cell[1], cell[2]));
    const uint32_t first = grid.first[c];
    n = grid.first[c + 1] - first;
    return &grid.fields[CELL_FIELDS * static_cast<std::size_t>(first)];
}

// One ray's test against the entries of one cell: where they start among the fields, how many, which ray, and
// the ray's start from the cell's low corner.
struct RayTest {
    const float* entries;
    uint32_t n;
    int ray;
    float from[3];
};

// One vector's worth of a test: the entries from `entries` on (a field every n), `left` of them the cell's.
struct RayPass {
    const float* entries;
    uint32_t n;
    uint32_t left;
    int test;
};

// Which lanes' occluders (but `self`) block ray k of the table? The test of RayMeets, many occluders at once.
template <typename F, typename B>
[[gnu::always_inline]] inline void PassBlocks(const RayPass& pass, const float* from, const SurfaceRayTable& rays, int k,
                                              float length, uint32_t self, B& blocks) {
    constexpr int width = sizeof(F) / sizeof(float);
    B laneNumber;
    for (int j = 0; j < width; ++j) laneNumber[j] = static_cast<uint32_t>(j);
    const float d[3] = {rays.direction[0][k], rays.direction[1][k], rays.direction[2][k]};
    float dd[6];
    for (int j = 0; j < 6; ++j) dd[j] = rays.products[j][k];
    const float* f = pass.entries;
    const uint32_t n = pass.n;
    F v[3], form[6];
    for (int j = 0; j < 3; ++j) {
        LoadLanes(f + (CELL_X + j) * n, v[j]);
        v[j] -= from[j];
    }
    for (int j = 0; j < 6; ++j) LoadLanes(f + (FORM_XX + j) * n, form[j]);
    B occluder, meets;
    std::memcpy(&occluder, f + CELL_OCCLUDER * n, sizeof occluder);
    RayMeets(v, form, d, dd, length, meets);
    const B other = occluder ^ self;  // nonzero but for self: then other | -other has its sign set
    blocks = meets & (other | -other) & (laneNumber - pass.left);  // and the lane is one of the cell's
}

// The rays (bit k: ray k) that the tests block, but those already in `blocked`. The tests are cut into passes a
// vector wide, queued a batch at a time and run without a branch on their answers, so that they overlap.
template <typename F, typename B>
[[gnu::always_inline]] inline uint32_t RunTests(const RayTest* tests, int count, const SurfaceRayTable& rays, float length,
                                                uint32_t self, uint32_t blocked) {
    constexpr int width = sizeof(F) / sizeof(float);
    constexpr int BATCH = 64;
    RayPass passes[BATCH];
    int queued = 0;
    auto run = [&]() {
        for (int p = 0; p < queued; ++p) {
            const RayPass& pass = passes[p];
            const int k = tests[pass.test].ray;
            B blocks;
            PassBlocks<F, B>(pass, tests[pass.test].from, rays, k, length, self, blocks);
            blocked |= uint32_t(AnySign(blocks)) << k;
        }
        queued = 0;
    };
    for (int t = 0; t < count; ++t) {
        const RayTest& test = tests[t];
        if (blocked >> test.ray & 1) continue;
        for (uint32_t done = 0; done < test.n; done += width) {
            passes[queued++] = RayPass{test.entries + done, test.n, test.n - done, t};
            if (queued == BATCH) run();
        }
    }
    run();
    return blocked;
}

// Where each of a particle's rays lies on the grid, one a column: its start from the home cell's low corner, and in
// cells from that corner, the cell it starts in, the cells it moves across each axis by its end (-1, 0 or 1), how
// far it starts from the face it crosses and how far it goes.
struct RaysOnGrid {
    alignas(64) float start[3][OCCLUSION_DIRECTIONS];
    alignas(64) float dist[3][OCCLUSION_DIRECTIONS];
    alignas(64) float span[3][OCCLUSION_DIRECTIONS];
    alignas(64) int32_t cell[3][OCCLUSION_DIRECTIONS];
    alignas(64) int32_t step[3][OCCLUSION_DIRECTIONS];
};

// All rays at once, as many as F has lanes (I: as many integers). A ray is shorter than half a cell and starts
// in the home cell or next to it, so its cells lie within -1 .. 2 of the home cell: floor(x) is (int)(x + 4) - 4.
template <typename F, typename I>
[[gnu::always_inline]] inline void PlaceRays(const float* centre, const SurfaceRayTable& rays, float inverseSize, float reach,
                                             RaysOnGrid& placed) {
    constexpr int width = sizeof(F) / sizeof(float);
    for (int first = 0; first < OCCLUSION_DIRECTIONS; first += width)
        for (int j = 0; j < 3; ++j) {
            F offset, direction;
            LoadLanes(&rays.offset[j][first], offset);
            LoadLanes(&rays.direction[j][first], direction);
            const F start = centre[j] + offset;
            const F s = start * inverseSize, e = s + direction * reach;
            const I cell = __builtin_convertvector(s + 4.0f, I) - 4;
            const I step = __builtin_convertvector(e + 4.0f, I) - 4 - cell;
            const F low = __builtin_convertvector(cell, F);
            const F dist = step > 0 ? (low + 1.0f) - s : s - low;
            const F span = (F)((I)(e - s) & 0x7fffffff);
            std::memcpy(&placed.start[j][first], &start, sizeof start);
            std::memcpy(&placed.dist[j][first], &dist, sizeof dist);
            std::memcpy(&placed.span[j][first], &span, sizeof span);
            std::memcpy(&placed.cell[j][first], &cell, sizeof cell);
            std::memcpy(&placed.step[j][first], &step, sizeof step);
        }
}

// The tests of a particle's open rays against the cells they pass through, but `home`, which stage one tested
// whole: the first such cell of each ray in `first`, the rest in `later`; returns how many of each. `centre` is
// the particle's centre from the home cell's low corner. A ray is shorter than half a cell: it starts in the
// home cell or next to it and crosses the faces across each axis at most once, so it passes at most four cells.
template <typename F, typename I>
[[gnu::always_inline]] inline int PlanRayTests(const CellGrid& grid, const long long* home, const float* centre, const SurfaceRayTable& rays,
                                               uint32_t open, float length, RayTest* first, int& firstCount, RayTest* later) {
    const float size = static_cast<float>(grid.size), inverseSize = 1.0f / size, reach = length * inverseSize;
    RaysOnGrid placed;
    PlaceRays<F, I>(centre, rays, inverseSize, reach, placed);
    const std::size_t homeIndex = static_cast<std::size_t>(CellIndex(grid, home[0], home[1], home[2]));
    const long long stride[3] = {1, grid.count[0], grid.count[0] * grid.count[1]};
    int laterCount = 0;
    firstCount = 0;
    for (uint32_t left = open; left != 0; left &= left - 1) {
        const int k = __builtin_ctz(left);
        const float start[3] = {placed.start[0][k], placed.start[1][k], placed.start[2][k]};
        const float dist[3] = {placed.dist[0][k], placed.dist[1][k], placed.dist[2][k]};
        const float span[3] = {placed.span[0][k], placed.span[1][k], placed.span[2][k]};
        const int step[3] = {placed.step[0][k], placed.step[1][k], placed.step[2][k]};
        int cell[3] = {placed.cell[0][k], placed.cell[1][k], placed.cell[2][k]};
        // The axes it crosses, by where: axis a before b when dist[a] / span[a] < dist[b] / span[b].
        int axes[3] = {0, 1, 2};
        auto before = [&](int a, int b) { return step[b] == 0 || (step[a] != 0 && dist[a] * span[b] < dist[b] * span[a]); };
        if (before(axes[1], axes[0])) std::swap(axes[0], axes[1]);
        if (before(axes[2], axes[1])) std::swap(axes[1], axes[2]);
        if (before(axes[1], axes[0])) std::swap(axes[0], axes[1]);
        bool firstTaken = false;
        for (int m = 0; m < 4; ++m) {
            if (m > 0) {
                if (step[axes[m - 1]] == 0) break;
                cell[axes[m - 1]] += step[axes[m - 1]];
            }
            if (cell[0] == 0 && cell[1] == 0 && cell[2] == 0) continue;
            bool inside = true;
            for (int j = 0; j < 3; ++j) inside = inside && home[j] + cell[j] >= 0 && home[j] + cell[j] < grid.count[j];
            if (!inside) continue;
            const std::size_t c = homeIndex + cell[0] * stride[0] + cell[1] * stride[1] + cell[2] * stride[2];
            RayTest& test = firstTaken ? later[laterCount++] : first[firstCount++];
            test.n = grid.first[c + 1] - grid.first[c];
            test.entries = &grid.fields[CELL_FIELDS * static_cast<std::size_t>(grid.first[c])];
            test.ray = k;
            for (int j = 0; j < 3; ++j) test.from[j] = start[j] - static_cast<float>(cell[j]) * size;
            firstTaken = true;
        }
    }
    return laterCount;
}

// The weighted share of the rays of shown particle `self` (its occluder) that are blocked. The occluders listed
// in the cell holding the particle's centre, its nearest neighbours, are tested against all its rays, many at
// once; then each ray still open is tested against the first other cell it passes through, and those still open
// after that against the rest of their cells.
template <typename F, typename B>
[[gnu::always_inline]] inline double BlockedShare(const CellGrid& grid, const Occluder& particle, const BodyRays& body, uint32_t self,
                                                  double length) {
    typedef int32_t I __attribute__((vector_size(sizeof(F))));  // as many integers as F has lanes
    SurfaceRayTable rays;
    SurfaceRays<F>(particle.turn, body, length, rays);
    long long home[3];
    for (int k = 0; k < 3; ++k) home[k] = FloorOf((particle.centre[k] - grid.lo[k]) * (1.0 / grid.size));
    uint32_t blocked = 0;
    const uint32_t all = (1u << OCCLUSION_DIRECTIONS) - 1;
    if (InsideGrid(grid, home)) {
        float centre[3];
        for (int k = 0; k < 3; ++k) centre[k] = CentreFrom(particle.centre, grid, home[k], k);
        uint32_t n;
        const float* entries = CellEntries(grid, home, n);
        blocked = CellBlocksRays<F, B>(entries, n, rays, centre, static_cast<float>(length), self);
        if (blocked != all) {
            RayTest first[OCCLUSION_DIRECTIONS], later[3 * OCCLUSION_DIRECTIONS];
            int firstCount;
            const int laterCount = PlanRayTests<F, I>(grid, home, centre, rays, ~blocked & all, static_cast<float>(length), first, firstCount, later);
            blocked = RunTests<F, B>(first, firstCount, rays, static_cast<float>(length), self, blocked);
            blocked = RunTests<F, B>(later, laterCount, rays, static_cast<float>(length), self, blocked);
        }
    }
    double blockedWeight = 0;  // adding 0 for an open ray leaves the sum as it was, without a branch
    for (int k = 0; k < OCCLUSION_DIRECTIONS; ++k) blockedWeight += blocked >> k & 1 ? body.weight[k] : 0.0f;
    return body.totalWeight > 0 ? blockedWeight / body.totalWeight : 0.0;
}

// The blocked shares of the shown particles first to end (by occluder), each into its atom's place, with lanes
// of F.
template <typename F, typename B>
[[gnu::always_inline]] inline void BlockedSharesIn(const CellGrid& grid, const std::vector<Occluder>& occluders,
                                                   const std::vector<long long>& shown, std::size_t first, std::size_t end,
                                                   double length, std::vector<double>& blocked) {
    BodyRayCache shapes;
    for (std::size_t s = first; s < end; ++s) {
        const Occluder& particle = occluders[s];
        blocked[static_cast<std::size_t>(shown[scratch.order[s]])] =
            BlockedShare<F, B>(grid, particle, BodyRaysOf<F>(particle.half, shapes), static_cast<uint32_t>(s) | NUMBER_MARK,
                               length);
    }
}

// The rays are built for each kind of vector unit on x86-64, and the program picks its processor's: 16 lanes
// where it has 32 registers that wide (AVX-512), 8 where it has 16 (AVX2), else 4. Each build fuses multiply-adds
// where the processor has them, the 4-lane one too when it is asked for on such a processor: lanes are
// independent, so every width and number of threads gives the same bits on one machine. Not under the
// sanitizers, whose start-up runs after such a choice is made.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define OCCLUSION_PICKS_VECTOR_UNIT 1
__attribute__((target("arch=x86-64-v4"))) void BlockedSharesOn16Lanes(const CellGrid& grid, const std::vector<Occluder>& occluders,
                                                                       const std::vector<long long>& shown, std::size_t first,
                                                                       std::size_t end, double length, std::vector<double>& blocked) {
    BlockedSharesIn<Floats16, Bits16>(grid, occluders, shown, first, end, length, blocked);
}

__attribute__((target("arch=x86-64-v3"))) void BlockedSharesOn8Lanes(const CellGrid& grid, const std::vector<Occluder>& occluders,
                                                                      const std::vector<long long>& shown, std::size_t first,
                                                                      std::size_t end, double length, std::vector<double>& blocked) {
    BlockedSharesIn<Floats8, Bits8>(grid, occluders, shown, first, end, length, blocked);
}

__attribute__((target("arch=x86-64-v3"))) void BlockedSharesOn4FusedLanes(const CellGrid& grid, const std::vector<Occluder>& occluders,
                                                                           const std::vector<long long>& shown, std::size_t first,
                                                                           std::size_t end, double length, std::vector<double>& blocked) {
    BlockedSharesIn<Floats4, Bits4>(grid, occluders, shown, first, end, length, blocked);
}

int LanesOfThisProcessor() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("x86-64-v4") ? 16 : __builtin_cpu_supports("x86-64-v3") ? 8 : 4;
}
#else
#define OCCLUSION_PICKS_VECTOR_UNIT 0
#endif

void BlockedShares(const CellGrid& grid, const std::vector<Occluder>& occluders, const std::vector<long long>& shown,
                   std::size_t first, std::size_t end, double length, std::vector<double>& blocked) {
#if OCCLUSION_PICKS_VECTOR_UNIT
    static const int widest = LanesOfThisProcessor();
    const int lanes = lanesWanted > 0 ? std::min(lanesWanted, widest) : widest;
    if (lanes >= 16) return BlockedSharesOn16Lanes(grid, occluders, shown, first, end, length, blocked);
    if (lanes >= 8) return BlockedSharesOn8Lanes(grid, occluders, shown, first, end, length, blocked);
    if (widest >= 8) return BlockedSharesOn4FusedLanes(grid, occluders, shown, first, end, length, blocked);
#endif
    BlockedSharesIn<Floats4, Bits4>(grid, occluders, shown, first, end, length, blocked);
}

// The threads asked of the occlusion alone, else the program's (--threads, else one per core).
int ThreadCount() { return threadsWanted > 0 ? threadsWanted : WorkerCount(LLONG_MAX, 1); }

bool CacheCurrent() {
    if (cache.version != particleDataVersion || cache.atoms != atoms || cache.shape != shape || cache.hidden != hiddenSpecies)
        return false;
    const SlabCut& s = cache.slab;
    if (s.on != slab.on) return false;
    // The frame centre follows geom (the version) or the fixed point: compared so, the check stays cheap enough
    // for every atom drawn.
    if (slab.on && (s.offset != slab.offset || s.width != slab.width || s.normal[0] != slab.normal[0] ||
                    s.normal[1] != slab.normal[1] || s.normal[2] != slab.normal[2] || cache.fixedCentre != fixedCentre ||
                    (fixedCentre && !std::equal(cache.fixedPoint, cache.fixedPoint + 3, fixedCentrePoint))))
        return false;
    if (cache.boxExists != frameBox.exists) return false;
    return !frameBox.exists || (std::equal(cache.box, cache.box + 3, frameBox.origin) &&
                                    std::equal(cache.box + 3, cache.box + 12, &frameBox.edges[0][0]));
}

void RememberInputs() {
    cache.version = particleDataVersion;
    cache.atoms = atoms;
    cache.shape = shape;
    cache.hidden = hiddenSpecies;
    cache.slab = slab;
    cache.fixedCentre = fixedCentre;
    std::copy(fixedCentrePoint, fixedCentrePoint + 3, cache.fixedPoint);
    cache.boxExists = frameBox.exists;
    std::copy(frameBox.origin, frameBox.origin + 3, cache.box);
    std::copy(&frameBox.edges[0][0], &frameBox.edges[0][0] + 9, cache.box + 3);
}

// The blocked shares into `blocked`, which keeps its memory from frame to frame: fresh memory costs a page fault a
// page, several milliseconds for a million atoms.
void FillBlockedFractions(int threads, std::vector<double>& blocked) {
    blocked.assign(static_cast<std::size_t>(std::max(atoms, 0)), 0.0);
    threadsUsed = threads > 0 ? threads : ThreadCount();
    const std::vector<long long>& shown = ShownAtoms();
    // Up to 7 images an atom, each listed in up to 27 cells: the lists are counted in 32 bits.
    if (shown.size() < 2 || shown.size() >= UINT32_MAX / (8 * 27)) return;
    const double length = scratch.largestHalfRadius;
    const Periodicity box = BoxPeriodicity(2 * length + length);
    WrapShownAtoms(shown, box);
    OrderByPlace(shown.size(), length);
    const Reach reach = MakeOccluders(shown, box);
    MakeGrid(scratch.grid, scratch.occluders, reach, length);
    ParallelFor(shown.size(), [&](std::size_t first, std::size_t end) {
        BlockedShares(scratch.grid, scratch.occluders, shown, first, end, length, blocked);
    });
}

}  // namespace

double OcclusionDistance() {
    ShownAtoms();
    return scratch.largestHalfRadius;
}

std::vector<double> BlockedFractions(int threads) {
    std::vector<double> blocked;
    FillBlockedFractions(threads, blocked);
    return blocked;
}

const std::vector<double>& OcclusionFactors() {
    bool fresh = false;
    if (!CacheCurrent()) {
        FillBlockedFractions(0, cache.blocked);
        RememberInputs();
        ++computations;
        fresh = true;
    }
    if (fresh || cache.strength != occlusionStrength) {
        cache.strength = occlusionStrength;
        cache.factors.resize(cache.blocked.size());
        for (std::size_t i = 0; i < cache.blocked.size(); ++i) cache.factors[i] = 1.0 - occlusionStrength * cache.blocked[i];
        ++cache.factorsVersion;
    }
    return cache.factors;
}

float OcclusionFactor(long long atom) {
    if (!ambientOcclusion) return 1.0f;
    return static_cast<float>(entry(const_cast<std::vector<double>&>(OcclusionFactors()), atom, "occlusion"));
}

long long OcclusionVersion() {
    if (!ambientOcclusion) return -1;
    OcclusionFactors();
    return cache.factorsVersion;
}

long long OcclusionComputations() { return computations; }

void SetOcclusionThreads(int threads) { threadsWanted = threads; }

void SetOcclusionLanes(int lanes) { lanesWanted = lanes; }

std::string OcclusionStrengthText(double strength) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", strength);
    return text;
}

std::string ToggleAmbientOcclusionText() {
    ambientOcclusion = !ambientOcclusion;
    return ambientOcclusion ? "Ambient occlusion on." : "Ambient occlusion off.";
}
