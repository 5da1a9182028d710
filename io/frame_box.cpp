// The frame's simulation box, in the coordinates of geom.
#include "io/frame_box.h"

#include <cmath>

#include "io/numbers.h"

void ClearFrameBox() { frameBox = {false, {0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}; }

void SetFrameBoxFromDump(const DumpBox& box) {
    SimulationBox read = {true, {box.lo[0], box.lo[1], box.lo[2]},
                          {{box.length[0], 0, 0}, {box.xy, box.length[1], 0}, {box.xz, box.yz, box.length[2]}}};
    frameBox = read;
}

bool SetFrameBoxFromCell(const double* lengths, const double* angles) {
    ClearFrameBox();
    const double toRadians = pi / 180;
    double ca = std::cos(angles[0] * toRadians), cb = std::cos(angles[1] * toRadians);
    double cg = std::cos(angles[2] * toRadians), sg = std::sin(angles[2] * toRadians);
    for (int k = 0; k < 3; ++k)
        if (!(lengths[k] > 0) || !std::isfinite(lengths[k]) || !(angles[k] > 0 && angles[k] < 180)) return false;
    double cx = cb, cy = (ca - cb * cg) / sg, cz2 = 1 - cx * cx - cy * cy;
    if (!(cz2 > 0)) return false;  // the three angles do not close a cell
    SimulationBox cell = {true, {0, 0, 0},
                          {{lengths[0], 0, 0},
                           {lengths[1] * cg, lengths[1] * sg, 0},
                           {lengths[2] * cx, lengths[2] * cy, lengths[2] * std::sqrt(cz2)}}};
    frameBox = cell;
    return true;
}

// CRYST1: a, b, c in columns 7-15, 16-24, 25-33; alpha, beta, gamma in 34-40, 41-47, 48-54.
bool ParseCryst1(std::string_view line, double* lengths, double* angles) {
    const std::size_t starts[6] = {6, 15, 24, 33, 40, 47}, widths[6] = {9, 9, 9, 7, 7, 7};
    for (int k = 0; k < 6; ++k) {
        if (line.size() < starts[k] + widths[k]) return false;
        const char* p = line.data() + starts[k];
        const char* end = p + widths[k];
        SkipSpace(p, end);
        double value = 0;
        if (!ParseReal(p, end, value)) return false;
        (k < 3 ? lengths[k] : angles[k - 3]) = value;
    }
    return true;
}

bool ParseGeneralBox(const std::string_view values[3], SimulationBox& box) {
    SimulationBox read = {true, {0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
    for (int edge = 0; edge < 3; ++edge) {
        const char* p = values[edge].data();
        const char* end = p + values[edge].size();
        for (int k = 0; k < 4; ++k) {
            SkipSpace(p, end);
            double value = 0;
            if (!ParseReal(p, end, value) || !std::isfinite(value)) return false;
            if (k < 3) read.edges[edge][k] = value;
            else read.origin[edge] = value;
        }
    }
    box = read;
    return true;
}
