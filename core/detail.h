// Adaptive detail: the subdivisions of each ellipsoid from its size on screen, free of OpenGL.
// A sphere of r pixels drawn with n slices misses its true outline by about r (1 - cos(pi / n));
// each ellipsoid gets the coarsest precompiled level that keeps this within half a pixel.
#pragma once

#include <vector>

// One precompiled tessellation: stacks are half the slices, so that both directions step by the same angle,
// but at least 8, below which the shading of small ellipsoids changes visibly.
struct DetailLevel {
    int slices;
    int stacks;
    double largestPixels;  // largest radius on screen, pixels, that this level draws within half a pixel
};

// The matrices and viewport an ellipsoid is drawn with, as OpenGL keeps them (column-major).
struct DetailView {
    double modelview[16];
    double projection[16];
    int width;   // viewport, pixels
    int height;
};

int DetailLevelCount();                        // levels from the floor to the ceiling
const DetailLevel& DetailLevelAt(int level);   // level 0 is the floor, DetailLevelCount() - 1 the ceiling, index-checked
int LevelForPixels(double radiusPixels);       // coarsest level within half a pixel; the ceiling when none is, or not finite
double ProjectedRadiusPixels(const DetailView& view, const double* position, const double* half);  // largest radius on screen; infinity when it reaches the eye plane
void ChooseDetail(const DetailView& view, const std::vector<double>& position, const double* half, int& slices, int& stacks);  // subdivisions for one ellipsoid
double TessellationInnerShare(int slices, int stacks);  // the largest share of the unit sphere inside its tessellation
