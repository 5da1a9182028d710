// Adaptive detail: projected size of an ellipsoid and the precompiled level that draws it within half a pixel.
#include "core/detail.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/scene.h"

namespace {

// Slices of each level; largestPixels is filled in from them on first use.
// NOTE: the floor, 8 x 8, looks like the default drawing at the 6 pixels it is used up to; the ceiling,
// 128 x 64, stays within half a pixel up to a radius of 1,660 pixels, a close-up larger than the screen.
std::vector<DetailLevel> MakeLevels() {
    std::vector<DetailLevel> levels;
    for (int slices : {8, 12, 18, 30, 48, 80, 128}) {
        double largest = 0.5 / (1.0 - std::cos(pi / slices));
        levels.push_back({slices, std::max(slices / 2, 8), largest});
    }
    return levels;
}

std::vector<DetailLevel>& Levels() {
    static std::vector<DetailLevel> levels = MakeLevels();
    return levels;
}

}  // namespace

int DetailLevelCount() { return static_cast<int>(Levels().size()); }

const DetailLevel& DetailLevelAt(int level) { return entry(Levels(), level, "detail levels"); }

int LevelForPixels(double radiusPixels) {
    const std::vector<DetailLevel>& levels = Levels();
    for (std::size_t k = 0; k < levels.size(); ++k)
        if (radiusPixels <= levels[k].largestPixels) return static_cast<int>(k);
    return static_cast<int>(levels.size()) - 1;  // larger, infinite or NaN: the ceiling
}

// Perspective: a sphere of radius R whose centre lies at eye-space e, depth w = -e.z, projects to an
// ellipse whose larger half axis is about R |e| / (w^2 - R^2) on the plane at distance 1, which also
// covers the stretch towards the edges of the view. Orthographic: R alone.
double ProjectedRadiusPixels(const DetailView& view, const double* position, const double* half) {
    const double* m = view.modelview;
    const double* p = view.projection;
    double largestHalf = 0;
    for (int k = 0; k < 3; ++k) largestHalf = std::max(largestHalf, std::fabs(half[k]));
    double scale = 0;  // largest stretch of the modelview
    for (int column = 0; column < 3; ++column)
        scale = std::max(scale, std::sqrt(m[4 * column] * m[4 * column] + m[4 * column + 1] * m[4 * column + 1] +
                                          m[4 * column + 2] * m[4 * column + 2]));
    double radius = largestHalf * scale;
    double eye[3];
    for (int row = 0; row < 3; ++row)
        eye[row] = m[row] * position[0] + m[4 + row] * position[1] + m[8 + row] * position[2] + m[12 + row];
    double pixelsPerUnit = std::max(std::fabs(p[0]) * view.width, std::fabs(p[5]) * view.height) / 2;
    bool perspective = p[11] != 0 || p[15] == 0;
    if (!perspective) return radius * pixelsPerUnit / std::fabs(p[15]);
    double depth = -eye[2];
    if (!(depth > radius)) return std::numeric_limits<double>::infinity();  // reaches the eye plane, or NaN
    double distance = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
    return pixelsPerUnit * radius * distance / ((depth - radius) * (depth + radius));
}

void ChooseDetail(const DetailView& view, const std::vector<double>& position, const double* half, int& slices,
                  int& stacks) {
    const DetailLevel& level = DetailLevelAt(LevelForPixels(ProjectedRadiusPixels(view, position.data(), half)));
    slices = level.slices;
    stacks = level.stacks;
}

// A unit sphere tessellated as GLU does it (stacks from pole to pole, slices round the axis, each face flat
// between two circles of latitude): a face's plane, seen in the meridian plane through its middle, is the line
// through the middles of its two chords, and its distance from the centre is the least over the faces. Single
// precision in the tessellation takes a little more off.
static double InnerShareOf(int slices, int stacks) {
    if (slices < 3 || stacks < 2) return 0;
    const double chord = std::cos(pi / slices);  // a chord's middle, as a share of its circle's radius
    double least = 1;
    for (int k = 0; k < stacks; ++k) {
        const double upper = pi * k / stacks, lower = pi * (k + 1) / stacks;
        const double r1 = std::sin(upper) * chord, z1 = std::cos(upper), r2 = std::sin(lower) * chord, z2 = std::cos(lower);
        least = std::min(least, std::fabs(r1 * z2 - r2 * z1) / std::hypot(r2 - r1, z2 - z1));
    }
    return least * (1 - 1e-4);
}

double TessellationInnerShare(int slices, int stacks) {
    struct Known {
        int slices, stacks;
        double share;
    };
    static std::vector<Known> known;  // a few levels: worked out once each
    for (const Known& k : known)
        if (k.slices == slices && k.stacks == stacks) return k.share;
    known.push_back({slices, stacks, InnerShareOf(slices, stacks)});
    return known.back().share;
}
