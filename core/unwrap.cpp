// Unwrapped positions from image flags and the frame's box; serves every trajectory kind that fills
// quantities and frameBox.
#include "core/unwrap.h"

#include <cmath>

#include "core/wrap.h"

namespace {

const char* const IMAGE_FLAGS[3] = {"ix", "iy", "iz"};

bool WholeNumber(double value) { return std::isfinite(value) && value == std::floor(value); }

}  // namespace

bool FindImageFlags(const std::vector<std::string>& names, int* flagColumns) {
    for (int k = 0; k < 3; ++k) {
        flagColumns[k] = -1;
        for (std::size_t j = 0; j < names.size(); ++j)
            if (names[j] == IMAGE_FLAGS[k]) flagColumns[k] = static_cast<int>(j);
        if (flagColumns[k] < 0) return false;
    }
    return true;
}

long long UnwrapPositions(std::vector<double>& positions, const std::vector<double>& quantities,
                          const std::vector<std::string>& names, const SimulationBox& box) {
    int flags[3];
    if (!box.exists || !FindImageFlags(names, flags)) return 0;
    const std::size_t stride = names.size();
    const std::size_t count = positions.size() / GEOM_STRIDE;
    if (quantities.size() < count * stride) return 0;
    long long moved = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double* row = &quantities[i * stride];
        const double image[3] = {row[flags[0]], row[flags[1]], row[flags[2]]};
        if (!WholeNumber(image[0]) || !WholeNumber(image[1]) || !WholeNumber(image[2])) continue;
        if (image[0] == 0 && image[1] == 0 && image[2] == 0) continue;
        double* position = &positions[i * GEOM_STRIDE + GEOM_X];
        for (int k = 0; k < 3; ++k)
            position[k] += image[0] * box.edges[0][k] + image[1] * box.edges[1][k] + image[2] * box.edges[2][k];
        ++moved;
    }
    return moved;
}

std::string PrepareUnwrap(bool positionsUnwrapped) {
    unwrapActive = false;
    if (!unwrap) return "";
    if (wrapIntoBox) return ExcludeUnwrap();
    int flags[3];
    if (!FindImageFlags(quantityNames, flags))
        return "Nothing can be unwrapped: " + inname + " has no image flags ix iy iz.";
    if (positionsUnwrapped)
        return "The positions of " + inname + " are unwrapped already; its image flags are not added again.";
    unwrapActive = true;
    return "Positions are unwrapped with the image flags ix iy iz and the box of each frame.";
}

void UnwrapFrame() {
    if (unwrapActive) UnwrapPositions(geom, quantities, quantityNames, frameBox);
}
