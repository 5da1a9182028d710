// Frame centre, quaternion rotations and bond end points, computed in double precision.
#include "core/geometry.h"

#include <cfloat>
#include <cmath>
#include <iostream>

#include "core/exit_sequence.h"
#include "core/scene.h"

const double* GeomRow(long long atom) {
    entry(geom, atom * GEOM_STRIDE + GEOM_STRIDE - 1, "geom");
    return &geom[static_cast<std::size_t>(atom * GEOM_STRIDE)];
}

// The readers reject such types; this guard keeps a broken invariant from drawing garbage.
int AtomSpecies(long long atom) {
    double type = GeomRow(atom)[GEOM_TYPE];
    if (!(type >= 1 && type < species + 1.0)) {
        std::cout << "Something is seriously wrong. Atom " << atom + 1 << " has the species " << type
                  << ", but only species 1 to " << species << " exist." << std::endl;
        ExitSequence();
    }
    return static_cast<int>(type);
}

// Positions near the largest double overflow the plain sum of a coordinate; only then is every position
// of that coordinate divided first, so ordinary frames keep exactly the centre the plain sum gives.
static double MeanDividingFirst(int k) {
    double mean = 0;
    for (long long i = 0; i < atoms; ++i) mean += GeomRow(i)[GEOM_X + k] / static_cast<double>(atoms);
    return std::isfinite(mean) ? mean : 0.0;
}

std::vector<double> average() {
    std::vector<double> centre(3, 0.0);
    if (atoms <= 0) return centre;
    for (long long i = 0; i < atoms; ++i) {
        const double* row = GeomRow(i);
        for (int k = 0; k < 3; ++k) centre[k] += row[GEOM_X + k];
    }
    for (int k = 0; k < 3; ++k)
        centre[k] = std::isfinite(centre[k]) ? centre[k] / static_cast<double>(atoms) : MeanDividingFirst(k);
    return centre;
}

std::vector<double> FrameCentre() {
    if (!fixedCentre) return average();
    return std::vector<double>(fixedCentrePoint, fixedCentrePoint + 3);
}

std::vector<double> BoxOrMeanCentre() {
    if (!frameBox.exists) return average();
    std::vector<double> centre(frameBox.origin, frameBox.origin + 3);
    for (int e = 0; e < 3; ++e)
        for (int k = 0; k < 3; ++k) centre[k] += frameBox.edges[e][k] / 2;
    for (double c : centre)
        if (!std::isfinite(c)) return average();
    return centre;
}

bool FitsInFloat(const double* values, int count) {
    for (int k = 0; k < count; ++k)
        if (!(std::fabs(values[k]) <= FLT_MAX)) return false;  // also false for NaN
    return true;
}

void QuaternionAxisAngle(const double* quaternion, double& degrees, double* axis) {
    double w = quaternion[0];
    const double* v = quaternion + 1;
    double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(length > 0)) length = 1;
    // NOTE: files written with few digits give |w| slightly above 1; arccos would return NaN.
    if (std::isnan(w) || w > 1) w = 1;
    if (w < -1) w = -1;
    degrees = 2 * std::acos(w) * 180 / pi;
    for (int k = 0; k < 3; ++k) axis[k] = v[k] / length;
    if (axis[0] == 0 && axis[1] == 0 && axis[2] == 0) degrees = 0;  // no axis: LAMMPS point particles write 0 0 0 0
}

void QuaternionMatrix(const double* quaternion, double* matrix) {
    double w = quaternion[0], x = quaternion[1], y = quaternion[2], z = quaternion[3];
    const double rows[9] = {1 - 2 * y * y - 2 * z * z, 2 * x * y - 2 * w * z,     2 * x * z + 2 * w * y,
                            2 * x * y + 2 * w * z,     1 - 2 * x * x - 2 * z * z, 2 * y * z - 2 * w * x,
                            2 * x * z - 2 * w * y,     2 * y * z + 2 * w * x,     1 - 2 * x * x - 2 * y * y};
    for (int k = 0; k < 9; ++k) matrix[k] = rows[k];
}

void BondEndPoint(int atomNumber, int origin, const std::vector<double>& centre, double* end) {
    const double* row = GeomRow(static_cast<long long>(atomNumber) - 1);
    long long n = static_cast<long long>(row[GEOM_TYPE]);
    long long first = 3LL * species * (origin - 1) + 3 * (n - 1);
    double v[3];
    for (int k = 0; k < 3; ++k) v[k] = entry(bondvec, first + k, "bondvec");
    double rotation[9];
    QuaternionMatrix(row + GEOM_QW, rotation);
    for (int k = 0; k < 3; ++k) {
        double turned = rotation[3 * k] * v[0] + rotation[3 * k + 1] * v[1] + rotation[3 * k + 2] * v[2];
        end[k] = row[GEOM_X + k] - centre[k] - turned;
    }
}
