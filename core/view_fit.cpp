// The sphere holding the frame and the eye distance that fits it into the window.
#include "core/view_fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/geometry.h"
#include "core/periodic_images.h"
#include "core/scene.h"

// Every periodic image counts: the fit frames them all. The distance is convex in the shift, so the farthest point
// of any image lies in one of the outermost ones, the corners of the block of images.
double SceneRadius() {
    std::vector<double> centre = FrameCentre();
    const bool images = ImagesShown();
    const std::vector<double> shifts = CornerImageShifts();
    double farthest = 0, largestHalf = 0;
    for (long long i = 0; i < atoms; ++i) {
        const double* row = GeomRow(i);
        if (!(row[GEOM_TYPE] >= 1 && row[GEOM_TYPE] < species + 1.0)) continue;  // reported by the drawing
        for (std::size_t corner = 0; corner < shifts.size(); corner += 3) {
            double d2 = 0;
            for (int k = 0; k < 3; ++k) {
                double d = images ? row[GEOM_X + k] - centre[k] + shifts[corner + k] : row[GEOM_X + k] - centre[k];
                d2 += d * d;
            }
            farthest = std::max(farthest, std::sqrt(d2));
        }
        long long n = static_cast<long long>(row[GEOM_TYPE]);
        for (int k = 0; k < 3; ++k)
            largestHalf = std::max(largestHalf, std::fabs(entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape")));
    }
    return farthest + largestHalf;
}

// NOTE: a sphere seen from distance d fills the cone of half angle asin(r / d); its outline on the screen is
// the circle of radius tan(that angle), so the distance follows from the wanted outline, not from r / tan.
double FitDistance(double radius, int width, int height) {
    double halfTan = std::tan(FIELD_OF_VIEW / 2 * std::acos(-1.0) / 180);
    if (width < height) halfTan *= static_cast<double>(width) / height;
    double outline = (1 - 2 * FIT_MARGIN) * halfTan;
    return radius / std::sin(std::atan(outline));
}

// The near plane stays at 1 unless the sphere comes closer; only for a system of thousands of units does it
// move out to 1/10000 of the far plane, so that the depth buffer keeps its resolution.
void FitClipPlanes(double distance, double radius, double& nearPlane, double& farPlane) {
    farPlane = 1.01 * (distance + radius);
    nearPlane = std::min(std::max(1.0, 1e-4 * farPlane), 0.5 * (distance - radius));
}
