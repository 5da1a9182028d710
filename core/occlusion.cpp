// Ambient occlusion from the true ellipsoids. Each shown particle casts OCCLUSION_DIRECTIONS rays, one from each
// of a fixed set of points of its own surface (evenly spread points of the unit sphere, stretched by the half
// radii), outward along the surface normal there for the occlusion distance. A ray is blocked when it meets another shown ellipsoid, tested exactly in
// that ellipsoid's body frame; candidates come from a grid of cells walked along the ray, each cell listing the
// ellipsoids whose bounding boxes reach into it. Each ray is weighted by the share of surface its point stands
// for, so the blocked share is one of surface, as the eye sees it.
// Where the frame has a box, positions are wrapped into it and the ellipsoids near a face get images beyond the
// opposite face, so that neighbours across the boundary occlude by their nearest image.
#include "core/occlusion.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "core/geometry.h"
#include "core/raycast_records.h"
#include "core/scene.h"
#include "core/visibility.h"

namespace {

// An ellipsoid as the rays meet it: its centre, the map from the scene frame into the frame in which it is the
// unit sphere (the inverse half radii times the transposed rotation), and the radius of its bounding sphere.
struct Occluder {
    double centre[3];
    float toUnit[9];
    float radius;
};

// The cells: the occluders listed in each, one after another (first[c] to first[c + 1]).
struct CellGrid {
    double lo[3] = {0, 0, 0};
    double size = 1;
    long long count[3] = {1, 1, 1};
    std::vector<uint32_t> first;
    std::vector<uint32_t> members;
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
void ParallelFor(std::size_t count, Body body) {
    std::atomic<std::size_t> nextChunk{0};
    const std::size_t chunk = 1024;
    auto work = [&]() {
        for (std::size_t begin = nextChunk.fetch_add(chunk); begin < count; begin = nextChunk.fetch_add(chunk))
            body(begin, std::min(begin + chunk, count));
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threadsUsed && static_cast<std::size_t>(t) * chunk < count; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

const double* OcclusionDirections() {
    static double directions[3 * OCCLUSION_DIRECTIONS];
    static bool made = false;
    if (made) return directions;
    // Evenly spread over the sphere: a Fibonacci lattice.
    const double golden = pi * (3.0 - std::sqrt(5.0));
    for (int k = 0; k < OCCLUSION_DIRECTIONS; ++k) {
        double z = 1.0 - (2.0 * k + 1.0) / OCCLUSION_DIRECTIONS, r = std::sqrt(1.0 - z * z);
        directions[3 * k] = r * std::cos(golden * k);
        directions[3 * k + 1] = r * std::sin(golden * k);
        directions[3 * k + 2] = z;
    }
    made = true;
    return directions;
}

// Half radii of species n as drawn (a negative one mirrors the same surface); false for a flat or broken one.
bool HalfRadii(int n, double* half) {
    for (int k = 0; k < 3; ++k) half[k] = std::fabs(entry(shape, SPECIES_STRIDE * (n - 1LL) + k, "shape"));
    return half[0] > 0 && half[1] > 0 && half[2] > 0 && FitsInFloat(half, 3);
}

// Row-major rotation matrix of the rotation the drawings apply for atom's stored quaternion.
void DrawnMatrix(long long atom, double* matrix) {
    float unit[4];
    DrawnRotation(GeomRow(atom) + GEOM_QW, unit);
    const double q[4] = {unit[0], unit[1], unit[2], unit[3]};
    QuaternionMatrix(q, matrix);
}

// The atoms that occlude and are shaded: shown, with a finite position and a real shape.
std::vector<long long> ShownAtoms() {
    std::vector<long long> shown;
    std::vector<double> centre = FrameCentre();
    double half[3];
    for (long long i = 0; i < atoms; ++i) {
        int n = AtomSpecies(i);
        if (!AtomShown(i, centre) || !HalfRadii(n, half) || !FitsInFloat(GeomRow(i) + GEOM_X, 3)) continue;
        shown.push_back(i);
    }
    return shown;
}

double LargestHalfRadius(const std::vector<long long>& shown) {
    double largest = 0, half[3];
    for (long long i : shown) {
        HalfRadii(AtomSpecies(i), half);
        largest = std::max({largest, half[0], half[1], half[2]});
    }
    return largest;
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
        double shift = box.periodic[k] && std::isfinite(fraction[k]) ? std::floor(fraction[k]) : 0.0;
        fraction[k] -= shift;
        for (int j = 0; j < 3; ++j) relative[j] -= shift * box.edges[k][j];
    }
    for (int k = 0; k < 3; ++k) wrapped[k] = box.origin[k] + relative[k];
}

Occluder MakeOccluder(long long atom, const double* position) {
    Occluder o;
    double half[3], turn[9];
    HalfRadii(AtomSpecies(atom), half);
    DrawnMatrix(atom, turn);
    for (int k = 0; k < 3; ++k) {
        o.centre[k] = position[k];
        for (int j = 0; j < 3; ++j) o.toUnit[3 * k + j] = static_cast<float>(turn[3 * j + k] / half[k]);
    }
    o.radius = static_cast<float>(std::max({half[0], half[1], half[2]}));
    return o;
}

// The shown atoms (first, in order, then the images of those near a periodic face) and where each ray starts.
std::vector<Occluder> MakeOccluders(const std::vector<long long>& shown, const Periodicity& box) {
    std::vector<Occluder> occluders(shown.size());
    std::vector<double> fractions(3 * shown.size());
    ParallelFor(shown.size(), [&](std::size_t first, std::size_t end) {
        for (std::size_t s = first; s < end; ++s) {
            double wrapped[3];
            WrapIntoBox(box, GeomRow(shown[s]) + GEOM_X, wrapped, &fractions[3 * s]);
            occluders[s] = MakeOccluder(shown[s], wrapped);
        }
    });
    if (!box.periodic[0] && !box.periodic[1] && !box.periodic[2]) return occluders;
    for (std::size_t s = 0; s < shown.size(); ++s) {
        const double* f = &fractions[3 * s];
        int near[3];  // +1: near the low face, so it needs an image one edge up; -1: near the high face
        for (int k = 0; k < 3; ++k)
            near[k] = !box.periodic[k] ? 0 : f[k] < box.margin[k] ? 1 : f[k] > 1 - box.margin[k] ? -1 : 0;
        if (near[0] == 0 && near[1] == 0 && near[2] == 0) continue;
        for (int m = 1; m < 8; ++m) {  // every non-empty subset of the near faces
            bool used = true;
            double shift[3] = {0, 0, 0};
            for (int k = 0; k < 3; ++k) {
                if (!(m & (1 << k))) continue;
                used = used && near[k] != 0;
                for (int j = 0; j < 3; ++j) shift[j] += near[k] * box.edges[k][j];
            }
            if (!used) continue;
            Occluder image = occluders[s];
            for (int j = 0; j < 3; ++j) image.centre[j] += shift[j];
            occluders.push_back(image);
        }
    }
    return occluders;
}

// The shown atoms in the order of the cells `size` wide their wrapped centres lie in, so that neighbours lie
// near each other in memory when the rays look them up.
void SortByPlace(std::vector<long long>& shown, const Periodicity& box, double size) {
    std::vector<std::pair<std::array<long long, 3>, long long>> keyed(shown.size());
    ParallelFor(shown.size(), [&](std::size_t first, std::size_t end) {
        for (std::size_t s = first; s < end; ++s) {
            double wrapped[3], fraction[3];
            WrapIntoBox(box, GeomRow(shown[s]) + GEOM_X, wrapped, fraction);
            std::array<long long, 3> key;
            for (int k = 0; k < 3; ++k)
                key[2 - k] = static_cast<long long>(std::clamp(std::floor(wrapped[k] / size), -1e15, 1e15));
            keyed[s] = {key, shown[s]};
        }
    });
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t s = 0; s < shown.size(); ++s) shown[s] = keyed[s].second;
}

// Half extents of the box around an occluder along the scene axes.
void BoundingExtent(const Occluder& o, double* extent) {
    // Columns of the inverse of toUnit are the scaled body axes: row k of toUnit is axis k / half k.
    for (int j = 0; j < 3; ++j) {
        double sum = 0;
        for (int k = 0; k < 3; ++k) {
            double norm2 = 0;
            for (int m = 0; m < 3; ++m) norm2 += double(o.toUnit[3 * k + m]) * o.toUnit[3 * k + m];
            double axis = o.toUnit[3 * k + j] / norm2;  // component j of body axis k times its half radius
            sum += axis * axis;
        }
        extent[j] = std::sqrt(sum);
    }
}

void CellRange(const CellGrid& grid, const Occluder& o, long long* low, long long* high) {
    double extent[3];
    BoundingExtent(o, extent);
    for (int k = 0; k < 3; ++k) {
        low[k] = std::clamp<long long>(static_cast<long long>(std::floor((o.centre[k] - extent[k] - grid.lo[k]) / grid.size)), 0,
                                       grid.count[k] - 1);
        high[k] = std::clamp<long long>(static_cast<long long>(std::floor((o.centre[k] + extent[k] - grid.lo[k]) / grid.size)), 0,
                                        grid.count[k] - 1);
    }
}

long long CellIndex(const CellGrid& grid, long long x, long long y, long long z) {
    return (z * grid.count[1] + y) * grid.count[0] + x;
}

// Cells about the ray length wide, coarser where that would make far more cells than occluders.
CellGrid MakeGrid(const std::vector<Occluder>& occluders, double length) {
    CellGrid grid;
    double hi[3];
    for (int k = 0; k < 3; ++k) {
        grid.lo[k] = occluders[0].centre[k];
        hi[k] = grid.lo[k];
    }
    for (const Occluder& o : occluders)
        for (int k = 0; k < 3; ++k) {
            grid.lo[k] = std::min(grid.lo[k], o.centre[k] - o.radius);
            hi[k] = std::max(hi[k], o.centre[k] + o.radius);
        }
    grid.size = length;
    const double most = 4.0 * static_cast<double>(occluders.size()) + 4096.0;
    for (int tries = 0; tries < 200; ++tries) {
        double cells = 1;
        for (int k = 0; k < 3; ++k) cells *= std::floor((hi[k] - grid.lo[k]) / grid.size) + 1;
        if (cells <= most) break;
        grid.size *= std::max(1.1, std::cbrt(cells / most));
    }
    long long total = 1;
    for (int k = 0; k < 3; ++k) {
        grid.count[k] = static_cast<long long>(std::floor((hi[k] - grid.lo[k]) / grid.size)) + 1;
        total *= grid.count[k];
    }
    grid.first.assign(static_cast<std::size_t>(total) + 1, 0);
    long long low[3], high[3];
    for (const Occluder& o : occluders) {  // count, then place: a counting sort keeps each cell in occluder order
        CellRange(grid, o, low, high);
        for (long long z = low[2]; z <= high[2]; ++z)
            for (long long y = low[1]; y <= high[1]; ++y)
                for (long long x = low[0]; x <= high[0]; ++x) ++grid.first[static_cast<std::size_t>(CellIndex(grid, x, y, z)) + 1];
    }
    for (std::size_t c = 1; c < grid.first.size(); ++c) grid.first[c] += grid.first[c - 1];
    grid.members.resize(grid.first.back());
    std::vector<uint32_t> next(grid.first.begin(), grid.first.end() - 1);
    for (std::size_t i = 0; i < occluders.size(); ++i) {
        CellRange(grid, occluders[i], low, high);
        for (long long z = low[2]; z <= high[2]; ++z)
            for (long long y = low[1]; y <= high[1]; ++y)
                for (long long x = low[0]; x <= high[0]; ++x)
                    grid.members[next[static_cast<std::size_t>(CellIndex(grid, x, y, z))]++] = static_cast<uint32_t>(i);
    }
    return grid;
}

// Does the segment from p along the unit direction d for `length` meet the ellipsoid? Exact, in its unit frame.
bool SegmentMeets(const Occluder& o, const double* p, const double* d, double length) {
    const double v[3] = {o.centre[0] - p[0], o.centre[1] - p[1], o.centre[2] - p[2]};
    double along = std::clamp(v[0] * d[0] + v[1] * d[1] + v[2] * d[2], 0.0, length);
    double off[3] = {v[0] - along * d[0], v[1] - along * d[1], v[2] - along * d[2]};
    double r = o.radius;
    if (off[0] * off[0] + off[1] * off[1] + off[2] * off[2] > r * r) return false;  // misses the bounding sphere
    double start[3], way[3];
    for (int k = 0; k < 3; ++k) {
        const float* row = o.toUnit + 3 * k;
        start[k] = -(row[0] * v[0] + row[1] * v[1] + row[2] * v[2]);
        way[k] = row[0] * d[0] + row[1] * d[1] + row[2] * d[2];
    }
    double a = way[0] * way[0] + way[1] * way[1] + way[2] * way[2];
    double b = start[0] * way[0] + start[1] * way[1] + start[2] * way[2];
    double c = start[0] * start[0] + start[1] * start[1] + start[2] * start[2] - 1.0;
    if (c <= 0) return true;  // starts inside
    if (b >= 0) return false;  // heads away from it
    double disc = b * b - a * c;
    if (disc < 0) return false;
    return (-b - std::sqrt(disc)) <= length * a;
}

// Walks the cells the segment passes through (in the grid's own units) and tests their occluders but `self`.
bool SegmentBlocked(const CellGrid& grid, const std::vector<Occluder>& occluders, const double* p, const double* d,
                    double length, uint32_t self) {
    long long cell[3], steps = 1;
    int step[3];
    double next[3], delta[3];
    for (int k = 0; k < 3; ++k) {
        double a = (p[k] - grid.lo[k]) / grid.size, b = a + d[k] * length / grid.size, span = b - a;
        cell[k] = static_cast<long long>(std::floor(a));
        steps += std::llabs(static_cast<long long>(std::floor(b)) - cell[k]);
        step[k] = span > 0 ? 1 : span < 0 ? -1 : 0;
        delta[k] = step[k] != 0 ? 1.0 / std::fabs(span) : HUGE_VAL;
        next[k] = step[k] > 0 ? (cell[k] + 1 - a) / span : step[k] < 0 ? (a - cell[k]) / -span : HUGE_VAL;
    }
    for (long long s = 0; s < steps; ++s) {
        if (cell[0] >= 0 && cell[1] >= 0 && cell[2] >= 0 && cell[0] < grid.count[0] && cell[1] < grid.count[1] &&
            cell[2] < grid.count[2]) {
            std::size_t c = static_cast<std::size_t>(CellIndex(grid, cell[0], cell[1], cell[2]));
            for (uint32_t m = grid.first[c]; m < grid.first[c + 1]; ++m) {
                uint32_t other = grid.members[m];
                if (other != self && SegmentMeets(occluders[other], p, d, length)) return true;
            }
        }
        int axis = next[0] <= next[1] ? (next[0] <= next[2] ? 0 : 2) : (next[1] <= next[2] ? 1 : 2);
        if (next[axis] > 1.0) break;
        cell[axis] += step[axis];
        next[axis] += delta[axis];
    }
    return false;
}

// The weighted share of the rays of shown atom `self` (its occluder) that are blocked.
double BlockedShare(const CellGrid& grid, const std::vector<Occluder>& occluders, long long atom, uint32_t self,
                    double length) {
    const Occluder& o = occluders[self];
    double half[3], turn[9];
    HalfRadii(AtomSpecies(atom), half);
    DrawnMatrix(atom, turn);
    const double* directions = OcclusionDirections();
    double blocked = 0, total = 0;
    for (int k = 0; k < OCCLUSION_DIRECTIONS; ++k) {
        const double* u = directions + 3 * k;
        // The unit sphere's point u stretched onto the ellipsoid; its normal is u / half, and the surface it
        // stands for grows with that normal's length (the stretched sphere's area per solid angle).
        double body[3] = {half[0] * u[0], half[1] * u[1], half[2] * u[2]};
        double normal[3] = {u[0] / half[0], u[1] / half[1], u[2] / half[2]};
        double weight = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        double p[3], d[3];
        for (int j = 0; j < 3; ++j) {
            d[j] = (turn[3 * j] * normal[0] + turn[3 * j + 1] * normal[1] + turn[3 * j + 2] * normal[2]) / weight;
            p[j] = o.centre[j] + turn[3 * j] * body[0] + turn[3 * j + 1] * body[1] + turn[3 * j + 2] * body[2];
        }
        double lift = 1e-6 * length;  // off the surface, so that rounding cannot start it inside a touching neighbour
        for (int j = 0; j < 3; ++j) p[j] += lift * d[j];
        total += weight;
        if (SegmentBlocked(grid, occluders, p, d, length, self)) blocked += weight;
    }
    return total > 0 ? blocked / total : 0.0;
}

int ThreadCount() {
    int threads = threadsWanted > 0 ? threadsWanted : static_cast<int>(std::thread::hardware_concurrency());
    return std::max(threads, 1);
}

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

}  // namespace

double OcclusionDistance() { return LargestHalfRadius(ShownAtoms()); }

std::vector<double> BlockedFractions(int threads) {
    std::vector<double> blocked(static_cast<std::size_t>(std::max(atoms, 0)), 0.0);
    std::vector<long long> shown = ShownAtoms();
    if (shown.size() < 2 || shown.size() >= UINT32_MAX / 8) return blocked;
    threadsUsed = threads > 0 ? threads : ThreadCount();
    const double length = LargestHalfRadius(shown);
    const Periodicity box = BoxPeriodicity(2 * length + length);
    SortByPlace(shown, box, length);
    const std::vector<Occluder> occluders = MakeOccluders(shown, box);
    const CellGrid grid = MakeGrid(occluders, length);
    ParallelFor(shown.size(), [&](std::size_t first, std::size_t end) {
        for (std::size_t s = first; s < end; ++s)
            blocked[static_cast<std::size_t>(shown[s])] = BlockedShare(grid, occluders, shown[s], static_cast<uint32_t>(s), length);
    });
    return blocked;
}

const std::vector<double>& OcclusionFactors() {
    bool fresh = false;
    if (!CacheCurrent()) {
        cache.blocked = BlockedFractions(0);
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

std::string OcclusionStrengthText(double strength) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", strength);
    return text;
}

std::string ToggleAmbientOcclusionText() {
    ambientOcclusion = !ambientOcclusion;
    return ambientOcclusion ? "Ambient occlusion on." : "Ambient occlusion off.";
}
