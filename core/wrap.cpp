// Wrapping positions into the frame's box and cutting bonds at its faces, in fractions of the box edges.
#include "core/wrap.h"

#include <algorithm>
#include <cmath>

#include "core/periodic_images.h"

namespace {

double Determinant(const double* a, const double* b, const double* c) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
}

double Length(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Fraction of the way from `start` (box fractions) along `step` at which the path leaves the unit cell;
// an edge of length 0 bounds nothing. Clamped to [0, 1].
double ExitFraction(const double* start, const double* step, const SimulationBox& box) {
    double t = 1;
    for (int k = 0; k < 3; ++k) {
        if (Length(box.edges[k]) == 0 || step[k] == 0) continue;
        double limit = step[k] > 0 ? (1 - start[k]) / step[k] : -start[k] / step[k];
        t = std::min(t, limit);
    }
    return std::max(0.0, t);
}

const char* const EXCLUSION_LINE = "wrap and unwrap exclude each other: positions are wrapped into the box, not unwrapped.";

}  // namespace

// NOTE: a 2-D run's box may have an edge of length 0 (GSD's Lz = 0); the normal of the other two stands in for
// it, so the fractions along the others stay exact and the flat edge's fraction is 0.
bool BoxFractions(const double* d, const SimulationBox& box, double* s) {
    double e[3][3];
    int flat = -1;
    for (int k = 0; k < 3; ++k) {
        std::copy(box.edges[k], box.edges[k] + 3, e[k]);
        if (Length(e[k]) == 0) flat = flat < 0 ? k : 3;
    }
    if (flat == 3) return false;
    if (flat >= 0) {
        const double* u = e[(flat + 1) % 3];
        const double* v = e[(flat + 2) % 3];
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        double length = Length(n);
        if (!(length > 0)) return false;
        for (int k = 0; k < 3; ++k) e[flat][k] = n[k] / length;
    }
    double whole = Determinant(e[0], e[1], e[2]);
    if (!(std::fabs(whole) > 1e-12 * Length(e[0]) * Length(e[1]) * Length(e[2]))) return false;
    s[0] = Determinant(d, e[1], e[2]) / whole;
    s[1] = Determinant(e[0], d, e[2]) / whole;
    s[2] = Determinant(e[0], e[1], d) / whole;
    if (flat >= 0) s[flat] = 0;
    return true;
}

// Whole edges are added, not the position rebuilt from its fractions: a particle inside keeps its numbers exactly.
long long WrapPositions(std::vector<double>& positions, const SimulationBox& box) {
    if (!box.exists) return 0;
    long long moved = 0;
    const std::size_t count = positions.size() / GEOM_STRIDE;
    for (std::size_t i = 0; i < count; ++i) {
        double* position = &positions[i * GEOM_STRIDE + GEOM_X];
        double d[3], s[3];
        for (int k = 0; k < 3; ++k) d[k] = position[k] - box.origin[k];
        if (!BoxFractions(d, box, s)) return moved;
        double whole[3];
        for (int k = 0; k < 3; ++k) whole[k] = std::isfinite(s[k]) ? std::floor(s[k]) : 0;
        if (whole[0] == 0 && whole[1] == 0 && whole[2] == 0) continue;
        for (int k = 0; k < 3; ++k)
            position[k] -= whole[0] * box.edges[0][k] + whole[1] * box.edges[1][k] + whole[2] * box.edges[2][k];
        ++moved;
    }
    return moved;
}

void WrapFrame() {
    if (wrapIntoBox) WrapPositions(geom, frameBox);
}

std::string ExcludeUnwrap() {
    if (!unwrap) return "";
    unwrap = false;
    unwrapActive = false;
    return EXCLUSION_LINE;
}

int BondPieces(const double* a, const double* b, const std::vector<double>& centre, double pieces[2][2][3]) {
    std::copy(a, a + 3, pieces[0][0]);
    std::copy(b, b + 3, pieces[0][1]);
    if (!(wrapIntoBox || ImagesShown()) || !frameBox.exists) return 1;
    double d[3], f[3];
    for (int k = 0; k < 3; ++k) d[k] = b[k] - a[k];
    if (!BoxFractions(d, frameBox, f)) return 1;
    if (std::fabs(f[0]) <= 0.5 && std::fabs(f[1]) <= 0.5 && std::fabs(f[2]) <= 0.5) return 1;
    if (!std::isfinite(f[0] + f[1] + f[2])) return 1;
    // The other end's nearest image: the bond as it runs across the face, from either end.
    double step[3], near[3];
    for (int k = 0; k < 3; ++k) step[k] = f[k] - std::round(f[k]);
    for (int k = 0; k < 3; ++k)
        near[k] = step[0] * frameBox.edges[0][k] + step[1] * frameBox.edges[1][k] + step[2] * frameBox.edges[2][k];
    int count = 0;
    const double* ends[2] = {a, b};
    for (int side = 0; side < 2; ++side) {
        double from[3], s[3], towards[3];
        for (int k = 0; k < 3; ++k) from[k] = ends[side][k] - (frameBox.origin[k] - centre[k]);
        if (!BoxFractions(from, frameBox, s)) return 1;
        for (int k = 0; k < 3; ++k) towards[k] = side == 0 ? step[k] : -step[k];
        double t = ExitFraction(s, towards, frameBox);
        if (!(t > 0)) continue;  // the end lies on or beyond the face: nothing of this half shows
        for (int k = 0; k < 3; ++k) {
            pieces[count][0][k] = ends[side][k];
            pieces[count][1][k] = ends[side][k] + (side == 0 ? t : -t) * near[k];
        }
        ++count;
    }
    return count;
}
