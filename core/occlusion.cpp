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
#include <climits>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "core/geometry.h"
#include "core/parallel.h"
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

Occluder MakeOccluder(long long atom, const double* centre) {
    Occluder o;
    double half[3], turn[9];
    HalfRadii(AtomSpecies(atom), half);
    DrawnTurn(GeomRow(atom) + GEOM_QW, turn);
    for (int k = 0; k < 3; ++k) {
        o.centre[k] = centre[k];
        for (int j = 0; j < 3; ++j) o.toUnit[3 * k + j] = static_cast<float>(turn[3 * j + k] / half[k]);
    }
    o.radius = static_cast<float>(std::max({half[0], half[1], half[2]}));
    return o;
}

// The rotation (row-major) and half radii an occluder was made from: row k of toUnit is body axis k / half k.
void OccluderShape(const Occluder& o, float* turn, float* half) {
    for (int k = 0; k < 3; ++k) {
        const float* row = o.toUnit + 3 * k;
        half[k] = 1.0f / std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
        for (int j = 0; j < 3; ++j) turn[3 * j + k] = row[j] * half[k];
    }
}

// The computation's tables, kept from frame to frame: for a million particles they take a few hundred
// megabytes, and the system hands out fresh memory far slower than the rays use it.
struct Scratch {
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
                cell[k] = std::clamp(static_cast<long long>(std::floor((c[3 * s + k] - lo[k]) / size)), 0LL, cells[k] - 1);
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

// The ordered shown atoms, then the images of those near a periodic face, each right after the one before.
void MakeOccluders(const std::vector<long long>& shown, const Periodicity& box) {
    const std::size_t count = shown.size();
    scratch.imageStart.resize(count + 1);
    scratch.imageStart[0] = static_cast<uint32_t>(count);
    for (std::size_t s = 0; s < count; ++s)
        scratch.imageStart[s + 1] = scratch.imageStart[s] + ImageCount(scratch.nearFaces[scratch.order[s]]);
    scratch.occluders.resize(scratch.imageStart[count]);
    ParallelFor(count, [&](std::size_t first, std::size_t end) {
        for (std::size_t s = first; s < end; ++s) {
            uint32_t index = scratch.order[s];
            Occluder& o = scratch.occluders[s] = MakeOccluder(shown[index], &scratch.centres[3 * index]);
            if (scratch.imageStart[s + 1] > scratch.imageStart[s])
                AddImages(box, o, scratch.nearFaces[index], &scratch.occluders[scratch.imageStart[s]]);
        }
    });
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

// Cells about the ray length wide, each listing the occluders whose boxes reach into it, in occluder order:
// a counting sort, each thread counting and placing a run of occluders of its own.
void MakeGrid(CellGrid& grid, const std::vector<Occluder>& occluders, double length) {
    double hi[3];
    for (int k = 0; k < 3; ++k) grid.lo[k] = hi[k] = occluders[0].centre[k];
    for (const Occluder& o : occluders)
        for (int k = 0; k < 3; ++k) {
            grid.lo[k] = std::min(grid.lo[k], o.centre[k] - o.radius);
            hi[k] = std::max(hi[k], o.centre[k] + o.radius);
        }
    FitCells(grid.lo, hi, length, 4.0 * static_cast<double>(occluders.size()) + 4096.0, grid.size, grid.count);
    const std::size_t cells = static_cast<std::size_t>(grid.count[0] * grid.count[1] * grid.count[2]);
    const std::size_t runs = static_cast<std::size_t>(threadsUsed);
    const std::size_t run = (occluders.size() + runs - 1) / runs;
    scratch.ranges.resize(occluders.size());
    scratch.threadCounts.assign(runs * cells, 0);
    auto eachCell = [&](const std::array<uint32_t, 6>& r, auto visit) {
        for (long long z = r[2]; z <= r[5]; ++z)
            for (long long y = r[1]; y <= r[4]; ++y)
                for (long long x = r[0]; x <= r[3]; ++x) visit(static_cast<std::size_t>(CellIndex(grid, x, y, z)));
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
                eachCell(r, [&](std::size_t c) { ++counts[c]; });
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
    grid.members.resize(placed);
    ParallelFor(runs, [&](std::size_t firstRun, std::size_t endRun) {
        for (std::size_t t = firstRun; t < endRun; ++t) {
            uint32_t* next = &scratch.threadCounts[t * cells];
            for (std::size_t i = t * run; i < std::min(occluders.size(), (t + 1) * run); ++i)
                eachCell(scratch.ranges[i], [&](std::size_t c) { grid.members[next[c]++] = static_cast<uint32_t>(i); });
        }
    }, 1);
}

// A ray from a particle's surface: its start, unit direction and length.
struct Ray {
    double start[3];
    float direction[3];
    float length;
};

// Does the ray meet the ellipsoid? Exact, in its unit frame, in single precision: first its bounding sphere.
inline bool RayMeets(const Occluder& o, const Ray& ray) {
    const float v[3] = {static_cast<float>(o.centre[0] - ray.start[0]), static_cast<float>(o.centre[1] - ray.start[1]),
                        static_cast<float>(o.centre[2] - ray.start[2])};
    const float* d = ray.direction;
    float along = std::clamp(v[0] * d[0] + v[1] * d[1] + v[2] * d[2], 0.0f, ray.length);
    float off[3] = {v[0] - along * d[0], v[1] - along * d[1], v[2] - along * d[2]};
    if (off[0] * off[0] + off[1] * off[1] + off[2] * off[2] > o.radius * o.radius) return false;
    float to[3], way[3];  // the occluder's centre from the start, and the direction, in its unit frame
    for (int k = 0; k < 3; ++k) {
        const float* row = o.toUnit + 3 * k;
        to[k] = row[0] * v[0] + row[1] * v[1] + row[2] * v[2];
        way[k] = row[0] * d[0] + row[1] * d[1] + row[2] * d[2];
    }
    // Points start + t way of the unit frame: |t way - to|^2 = 1 with a t^2 - 2 b t + c = 0.
    float a = way[0] * way[0] + way[1] * way[1] + way[2] * way[2];
    float b = to[0] * way[0] + to[1] * way[1] + to[2] * way[2];
    float c = to[0] * to[0] + to[1] * to[1] + to[2] * to[2] - 1.0f;
    if (c <= 0) return true;  // starts inside
    if (b <= 0) return false;  // heads away from it
    float disc = b * b - a * c;
    if (disc < 0) return false;
    // The entry (b - sqrt(disc)) / a lies within the length: b - length a <= sqrt(disc).
    float beyond = b - ray.length * a;
    return beyond <= 0 || beyond * beyond <= disc;
}

constexpr uint32_t NO_OCCLUDER = UINT32_MAX;

// floor for the grid's own coordinates, which are small: without SSE 4.1, std::floor is a call into the library.
long long FloorOf(double x) {
    long long truncated = static_cast<long long>(x);
    return truncated - (x < static_cast<double>(truncated));
}

// The first occluder but `self` listed in the cell that blocks the ray; NO_OCCLUDER if none, or if the cell
// lies outside the grid.
uint32_t CellBlocker(const CellGrid& grid, const std::vector<Occluder>& occluders, const Ray& ray, uint32_t self,
                     const long long* cell) {
    for (int k = 0; k < 3; ++k)
        if (cell[k] < 0 || cell[k] >= grid.count[k]) return NO_OCCLUDER;
    std::size_t c = static_cast<std::size_t>(CellIndex(grid, cell[0], cell[1], cell[2]));
    for (uint32_t m = grid.first[c]; m < grid.first[c + 1]; ++m) {
        uint32_t other = grid.members[m];
        if (other != self && RayMeets(occluders[other], ray)) return other;
    }
    return NO_OCCLUDER;
}

// Walks the cells the ray passes through (in the grid's own units), nearest first, and tests their occluders
// but `self`; the first that blocks it, or NO_OCCLUDER. Most rays end in the cell they start in.
uint32_t RayBlocker(const CellGrid& grid, const std::vector<Occluder>& occluders, const Ray& ray, uint32_t self) {
    const double inverseSize = 1.0 / grid.size;
    long long cell[3], steps = 1;
    double a[3], span[3];
    for (int k = 0; k < 3; ++k) {
        a[k] = (ray.start[k] - grid.lo[k]) * inverseSize;
        span[k] = ray.direction[k] * ray.length * inverseSize;
        cell[k] = FloorOf(a[k]);
        steps += std::llabs(FloorOf(a[k] + span[k]) - cell[k]);
    }
    uint32_t blocker = CellBlocker(grid, occluders, ray, self, cell);
    if (blocker != NO_OCCLUDER || steps == 1) return blocker;
    int step[3];
    double next[3], delta[3];  // where along the ray (0 to 1) it next crosses a cell face, and the gap between faces
    for (int k = 0; k < 3; ++k) {
        step[k] = span[k] > 0 ? 1 : span[k] < 0 ? -1 : 0;
        delta[k] = step[k] != 0 ? 1.0 / std::fabs(span[k]) : HUGE_VAL;
        next[k] = step[k] > 0 ? (cell[k] + 1 - a[k]) * delta[k] : step[k] < 0 ? (a[k] - cell[k]) * delta[k] : HUGE_VAL;
    }
    for (long long s = 1; s < steps; ++s) {
        int axis = next[0] <= next[1] ? (next[0] <= next[2] ? 0 : 2) : (next[1] <= next[2] ? 1 : 2);
        if (next[axis] > 1.0) break;
        cell[axis] += step[axis];
        next[axis] += delta[axis];
        blocker = CellBlocker(grid, occluders, ray, self, cell);
        if (blocker != NO_OCCLUDER) return blocker;
    }
    return NO_OCCLUDER;
}

// The weighted share of the rays of shown particle `self` (its occluder) that are blocked.
double BlockedShare(const CellGrid& grid, const std::vector<Occluder>& occluders, uint32_t self, double length) {
    const Occluder& particle = occluders[self];
    float turn[9], half[3];
    OccluderShape(particle, turn, half);
    const float inverseHalf[3] = {1.0f / half[0], 1.0f / half[1], 1.0f / half[2]};
    const float lift = static_cast<float>(1e-5 * length);  // off the surface: rounding cannot start it inside a touching neighbour
    const double* directions = OcclusionDirections();
    double blocked = 0, total = 0;
    for (int k = 0; k < OCCLUSION_DIRECTIONS; ++k) {
        const float u[3] = {static_cast<float>(directions[3 * k]), static_cast<float>(directions[3 * k + 1]),
                            static_cast<float>(directions[3 * k + 2])};
        // The unit sphere's point u stretched onto the ellipsoid; its normal is u / half, and the surface it
        // stands for grows with that normal's length (the stretched sphere's area per solid angle).
        const float body[3] = {half[0] * u[0], half[1] * u[1], half[2] * u[2]};
        const float normal[3] = {u[0] * inverseHalf[0], u[1] * inverseHalf[1], u[2] * inverseHalf[2]};
        const float weight = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        const float inverseWeight = 1.0f / weight;
        Ray ray;
        ray.length = static_cast<float>(length);
        for (int j = 0; j < 3; ++j) {
            const float* row = turn + 3 * j;
            float d = (row[0] * normal[0] + row[1] * normal[1] + row[2] * normal[2]) * inverseWeight;
            ray.direction[j] = d;
            ray.start[j] = particle.centre[j] + (row[0] * body[0] + row[1] * body[1] + row[2] * body[2] + lift * d);
        }
        total += weight;
        if (RayBlocker(grid, occluders, ray, self) != NO_OCCLUDER) blocked += weight;
    }
    return total > 0 ? blocked / total : 0.0;
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

}  // namespace

double OcclusionDistance() { return LargestHalfRadius(ShownAtoms()); }

std::vector<double> BlockedFractions(int threads) {
    std::vector<double> blocked(static_cast<std::size_t>(std::max(atoms, 0)), 0.0);
    const std::vector<long long> shown = ShownAtoms();
    // Up to 7 images an atom, each listed in up to 27 cells: the lists are counted in 32 bits.
    if (shown.size() < 2 || shown.size() >= UINT32_MAX / (8 * 27)) return blocked;
    threadsUsed = threads > 0 ? threads : ThreadCount();
    const double length = LargestHalfRadius(shown);
    const Periodicity box = BoxPeriodicity(2 * length + length);
    WrapShownAtoms(shown, box);
    OrderByPlace(shown.size(), length);
    MakeOccluders(shown, box);
    MakeGrid(scratch.grid, scratch.occluders, length);
    ParallelFor(shown.size(), [&](std::size_t first, std::size_t end) {
        for (std::size_t s = first; s < end; ++s)
            blocked[static_cast<std::size_t>(shown[scratch.order[s]])] = BlockedShare(scratch.grid, scratch.occluders, static_cast<uint32_t>(s), length);
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
