// Periodic images: each image is the frame moved by whole edges of its box; the drawing, the fit and the
// picking go through the images one after another and never copy a particle.
#include "core/periodic_images.h"

#include <cmath>
#include <cstdio>

#include "core/geometry.h"
#include "core/pick.h"
#include "core/scene.h"
#include "core/visibility.h"

namespace {

constexpr int MAX_IMAGES_ALONG = 99;  // 99^3 images is already more than any picture can show

// Whole edges of image `image` along a, b, c: image 0 is the frame itself, the others follow in order.
void ImageIndices(int image, int* whole) {
    int total = imageCounts[0] * imageCounts[1] * imageCounts[2];
    int centreIndex = total / 2;  // the odd counts put the frame itself in the middle of the ordered list
    int ordered = image == 0 ? centreIndex : image <= centreIndex ? image - 1 : image;
    for (int k = 2; k >= 0; --k) {
        whole[k] = ordered % imageCounts[k] - imageCounts[k] / 2;
        ordered /= imageCounts[k];
    }
}

// Distance along the ray at which it enters the atom moved by `shift`; -1 where it misses.
double EntryDistance(long long atom, const double* origin, const double* direction, const std::vector<double>& centre,
                     const double* shift) {
    const double* row = GeomRow(atom);
    long long n = static_cast<long long>(row[GEOM_TYPE]);
    double position[3], half[3];
    for (int k = 0; k < 3; ++k) {
        position[k] = row[GEOM_X + k] - centre[k] + shift[k];
        half[k] = entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape");
    }
    return RayEllipsoidHit(origin, direction, position, row + GEOM_QW, half);
}

}  // namespace

bool ImagesShown() {
    return frameBox.exists && ValidImageCounts(imageCounts) && imageCounts[0] * imageCounts[1] * imageCounts[2] > 1;
}

int ImageTotal() { return ImagesShown() ? imageCounts[0] * imageCounts[1] * imageCounts[2] : 1; }

void ImageShift(int image, double* shift) {
    shift[0] = shift[1] = shift[2] = 0;
    if (image == 0 || !ImagesShown()) return;
    int whole[3];
    ImageIndices(image, whole);
    for (int k = 0; k < 3; ++k)
        shift[k] = whole[0] * frameBox.edges[0][k] + whole[1] * frameBox.edges[1][k] + whole[2] * frameBox.edges[2][k];
}

std::vector<double> CornerImageShifts() {
    if (!ImagesShown()) return std::vector<double>(3, 0.0);
    std::vector<double> shifts;
    for (int corner = 0; corner < 8; ++corner)
        for (int k = 0; k < 3; ++k) {
            double shift = 0;
            for (int e = 0; e < 3; ++e)
                shift += (corner & (1 << e) ? 1 : -1) * (imageCounts[e] / 2) * frameBox.edges[e][k];
            shifts.push_back(shift);
        }
    return shifts;
}

bool ValidImageCounts(const int* counts) {
    for (int k = 0; k < 3; ++k)
        if (counts[k] < 1 || counts[k] > MAX_IMAGES_ALONG || counts[k] % 2 == 0) return false;
    return true;
}

std::string ImageCountsText(const int* counts) {
    return std::to_string(counts[0]) + "x" + std::to_string(counts[1]) + "x" + std::to_string(counts[2]);
}

bool ParseImageCounts(const std::string& text, int* counts) {
    int read[3] = {0, 0, 0};
    char x1 = 0, x2 = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c%d%n", &read[0], &x1, &read[1], &x2, &read[2], &used) != 5) return false;
    if (x1 != 'x' || x2 != 'x' || used != static_cast<int>(text.size()) || !ValidImageCounts(read)) return false;
    for (int k = 0; k < 3; ++k) counts[k] = read[k];
    return true;
}

bool FrameIsFlat() {
    if (!frameBox.exists) return false;
    const double* a = frameBox.edges[0];
    const double* b = frameBox.edges[1];
    double normal[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    if (!(length > 0)) return false;
    for (double& component : normal) component /= length;
    return ExtentAlong(normal) == 0;
}

std::string CycleImages() {
    if (!frameBox.exists) return "This frame gives no simulation box: no periodic images are drawn.";
    if (imageCounts[0] * imageCounts[1] * imageCounts[2] > 1) {
        imageCounts[0] = imageCounts[1] = imageCounts[2] = 1;
        return "Periodic images off.";
    }
    imageCounts[0] = imageCounts[1] = 3;
    imageCounts[2] = FrameIsFlat() ? 1 : 3;
    return "Periodic images on: " + ImageCountsText(imageCounts) + ".";
}

std::string ImagesWithoutBoxLine() {
    if (frameBox.exists || imageCounts[0] * imageCounts[1] * imageCounts[2] == 1) return "";
    return "This frame gives no simulation box: no periodic images are drawn.";
}

std::string WrapWithoutBoxLine() {
    if (frameBox.exists || !wrapIntoBox) return "";
    return "This frame gives no simulation box: nothing is wrapped.";
}

// Each image is the frame under a shifted ray: the cheap bounds of PickAtom serve every image.
long long PickAtomInImages(const double* origin, const double* direction, const std::vector<double>& centre) {
    if (!ImagesShown()) return PickAtom(origin, direction, centre);
    long long nearest = -1;
    double nearestT = 0;
    for (int image = 0; image < ImageTotal(); ++image) {
        double shift[3], moved[3];
        ImageShift(image, shift);
        for (int k = 0; k < 3; ++k) moved[k] = origin[k] - shift[k];
        long long atom = PickAtom(moved, direction, centre);
        if (atom < 0) continue;
        double t = EntryDistance(atom, origin, direction, centre, shift);
        if (t >= 0 && (nearest < 0 || t < nearestT)) nearest = atom, nearestT = t;
    }
    return nearest;
}
