// Picking: the eye ray is taken into each ellipsoid's body frame and scaled so the ellipsoid becomes the unit
// sphere, where the entry point is one quadratic equation.
#include "core/pick.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/derived_quantities.h"
#include "core/geometry.h"
#include "core/transparency.h"
#include "core/visibility.h"

void DrawnRotation(const double* quaternion, double* matrix) {
    double degrees = 0, axis[3] = {0, 0, 0};
    QuaternionAxisAngle(quaternion, degrees, axis);
    double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    double angle = degrees * pi / 180, c = std::cos(angle), s = std::sin(angle);
    double u[3] = {0, 0, 0};
    if (length > 0) for (int k = 0; k < 3; ++k) u[k] = axis[k] / length;  // glRotate normalises its axis too
    else c = 1, s = 0;
    const double rows[9] = {c + u[0] * u[0] * (1 - c),        u[0] * u[1] * (1 - c) - u[2] * s, u[0] * u[2] * (1 - c) + u[1] * s,
                            u[1] * u[0] * (1 - c) + u[2] * s, c + u[1] * u[1] * (1 - c),        u[1] * u[2] * (1 - c) - u[0] * s,
                            u[2] * u[0] * (1 - c) - u[1] * s, u[2] * u[1] * (1 - c) + u[0] * s, c + u[2] * u[2] * (1 - c)};
    std::copy(rows, rows + 9, matrix);
}

// Entry of the ray o + t d into the unit sphere; -1 when it misses or the entry lies behind the origin.
static double UnitSphereEntry(const double* o, const double* d) {
    double a = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    double b = 2 * (o[0] * d[0] + o[1] * d[1] + o[2] * d[2]);
    double c = o[0] * o[0] + o[1] * o[1] + o[2] * o[2] - 1;
    double discriminant = b * b - 4 * a * c;
    if (!(a > 0) || !(discriminant >= 0)) return -1;
    // The root without cancellation first, the other from the product of the roots.
    double qq = -0.5 * (b + std::copysign(std::sqrt(discriminant), b));
    double t1 = qq / a, t2 = qq != 0 ? c / qq : t1;
    double entry = std::min(t1, t2);
    return entry >= 0 ? entry : -1;
}

// Entry of o + t d into the flat ellipse of the body plane `flat` = 0.
static double FlatEllipseEntry(const double* o, const double* d, const double* half, int flat) {
    if (d[flat] == 0) return -1;  // seen edge on: no area
    double t = -o[flat] / d[flat];
    if (!(t >= 0)) return -1;
    double sum = 0;
    for (int k = 0; k < 3; ++k)
        if (k != flat) sum += std::pow((o[k] + t * d[k]) / half[k], 2);
    return sum <= 1 ? t : -1;
}

double RayEllipsoidHit(const double* origin, const double* direction, const double* centre, const double* quaternion,
                       const double* half) {
    double rotation[9];
    DrawnRotation(quaternion, rotation);
    double o[3] = {0, 0, 0}, d[3] = {0, 0, 0}, h[3];
    int zeros = 0, flat = -1;
    for (int k = 0; k < 3; ++k) {
        h[k] = std::fabs(half[k]);  // a negative scale mirrors the sphere onto itself
        if (h[k] == 0) ++zeros, flat = k;
        for (int j = 0; j < 3; ++j) {  // body = rotation transposed times scene
            o[k] += rotation[3 * j + k] * (origin[j] - centre[j]);
            d[k] += rotation[3 * j + k] * direction[j];
        }
    }
    if (zeros >= 2) return -1;
    if (zeros == 1) return FlatEllipseEntry(o, d, h, flat);
    for (int k = 0; k < 3; ++k) o[k] /= h[k], d[k] /= h[k];
    return UnitSphereEntry(o, d);
}

// True when the ray passes farther from the point than radius: the cheap test before the exact one.
static bool RayMissesSphere(const double* origin, const double* direction, const double* point, double radius) {
    double r[3], along = 0, dd = 0, rr = 0;
    for (int k = 0; k < 3; ++k) {
        r[k] = point[k] - origin[k];
        along += r[k] * direction[k];
        dd += direction[k] * direction[k];
        rr += r[k] * r[k];
    }
    double across = rr - along * along / dd;
    return !(across <= radius * radius * (1 + 1e-9) + 1e-300);
}

long long PickAtom(const double* origin, const double* direction, const std::vector<double>& centre) {
    long long nearest = -1;
    double nearestT = 0;
    for (long long i = 0; i < atoms; ++i) {
        if (!AtomShown(i, centre)) continue;
        const double* row = GeomRow(i);
        long long n = static_cast<long long>(row[GEOM_TYPE]);
        if (n < 1 || n > species || AtomInvisible(i)) continue;  // an atom of opacity 0 is not drawn
        double position[3], half[3], radius = 0;
        for (int k = 0; k < 3; ++k) {
            position[k] = row[GEOM_X + k] - centre[k];
            half[k] = entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape");
            radius = std::max(radius, std::fabs(half[k]));
        }
        if (RayMissesSphere(origin, direction, position, radius)) continue;
        double t = RayEllipsoidHit(origin, direction, position, row + GEOM_QW, half);
        if (t >= 0 && (nearest < 0 || t < nearestT)) nearest = i, nearestT = t;
    }
    return nearest;
}

long long AtomOfLabel(double label) {
    for (long long i = 0; i < atoms; ++i)
        if (GeomRow(i)[GEOM_LABEL] == label) return i;
    return -1;
}

bool UniqueAxis(long long atom, double* axis) {
    const double* row = GeomRow(atom);
    long long n = static_cast<long long>(row[GEOM_TYPE]);
    double half[3];
    for (int k = 0; k < 3; ++k) half[k] = std::fabs(entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape"));
    if (half[0] == half[1] && half[1] == half[2]) return false;
    int unique = 0;
    double apart = -1;
    for (int k = 0; k < 3; ++k) {
        double others = 0.5 * (half[(k + 1) % 3] + half[(k + 2) % 3]);
        if (std::fabs(half[k] - others) > apart) apart = std::fabs(half[k] - others), unique = k;
    }
    double rotation[9];
    DrawnRotation(row + GEOM_QW, rotation);
    for (int j = 0; j < 3; ++j) axis[j] = rotation[3 * j + unique];  // column `unique`: the body axis in the scene
    return true;
}

// Solves box.edges (as columns) times s = d by Cramer's rule; false for a flat box.
static bool Fractions(const double* d, const SimulationBox& box, double* s) {
    const double(*e)[3] = box.edges;
    auto det = [](const double* a, const double* b, const double* c) {
        return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
    };
    double whole = det(e[0], e[1], e[2]);
    if (!(std::fabs(whole) > 0)) return false;
    s[0] = det(d, e[1], e[2]) / whole;
    s[1] = det(e[0], d, e[2]) / whole;
    s[2] = det(e[0], e[1], d) / whole;
    return true;
}

double MinimumImageLength(const double* d, const SimulationBox& box) {
    double s[3];
    if (!Fractions(d, box, s)) return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (double& f : s) f -= std::round(f);
    // Rounding the fractions is exact for a rectangular box; a tilted one may need a neighbouring image.
    double best = -1;
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k) {
                double v[3], length2 = 0;
                for (int c = 0; c < 3; ++c) {
                    v[c] = (s[0] + i) * box.edges[0][c] + (s[1] + j) * box.edges[1][c] + (s[2] + k) * box.edges[2][c];
                    length2 += v[c] * v[c];
                }
                if (best < 0 || length2 < best) best = length2;
            }
    return std::sqrt(best);
}

static std::string Format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value + 0.0);
    return text;
}

static std::string Triple(const char* pattern, const double* v, int count) {
    std::string text = "(";
    for (int k = 0; k < count; ++k) text += (k ? ", " : "") + Format(pattern, v[k]);
    return text + ")";
}

std::string AtomLine(long long atom) {
    const double* row = GeomRow(atom);
    long long n = static_cast<long long>(row[GEOM_TYPE]);
    double half[3];
    for (int k = 0; k < 3; ++k) half[k] = entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape");
    std::string line = "Atom " + std::to_string(atom + 1) + " (label " + Format("%.15g", row[GEOM_LABEL]) +
                       ", species " + std::to_string(n) + "): position " + Triple("%.3f", row + GEOM_X, 3) +
                       ", orientation " + Triple("%.4g", row + GEOM_QW, 4) + ", half radii " + Triple("%g", half, 3);
    for (int k = 0; k < QuantityCount(); ++k)
        line += (k ? ", " : "; ") + QuantityName(k) + " " + Format("%g", QuantityValue(atom, k));
    return line;
}

static void Difference(long long from, long long to, double* d) {
    for (int k = 0; k < 3; ++k) d[k] = GeomRow(to)[GEOM_X + k] - GeomRow(from)[GEOM_X + k];
}

static std::string DistanceLine(long long a, long long b) {
    double d[3];
    Difference(a, b, d);
    std::string line = "Distance between atoms " + std::to_string(a + 1) + " and " + std::to_string(b + 1) + ": " +
                       Format("%.4f", std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
    if (frameBox.exists) line += ", minimum image " + Format("%.4f", MinimumImageLength(d, frameBox));
    return line + ".";
}

static double AngleDegrees(const double* u, const double* v) {
    double uv = 0, uu = 0, vv = 0;
    for (int k = 0; k < 3; ++k) uv += u[k] * v[k], uu += u[k] * u[k], vv += v[k] * v[k];
    if (!(uu > 0 && vv > 0)) return std::nan("");
    return std::acos(std::max(-1.0, std::min(1.0, uv / std::sqrt(uu * vv)))) * 180 / pi;
}

static std::string AngleLine(long long a, long long b, long long c) {
    double ba[3], bc[3];
    Difference(b, a, ba);
    Difference(b, c, bc);
    return "Angle " + std::to_string(a + 1) + "-" + std::to_string(b + 1) + "-" + std::to_string(c + 1) + ": " +
           Format("%.2f", AngleDegrees(ba, bc)) + " degrees.";
}

// Axes have no sense of direction: the angle between them lies in 0 to 90 degrees.
static std::string AxesLine(long long a, long long b) {
    double u[3], v[3];
    if (!UniqueAxis(a, u) || !UniqueAxis(b, v)) return "";
    double angle = AngleDegrees(u, v);
    if (angle > 90) angle = 180 - angle;
    return "Angle between the unique axes of atoms " + std::to_string(a + 1) + " and " + std::to_string(b + 1) + ": " +
           Format("%.2f", angle) + " degrees.";
}

std::vector<std::string> RecordPick(long long atom) {
    if (static_cast<int>(pickedLabels.size()) >= PICK_LIMIT) pickedLabels.clear();
    pickedLabels.push_back(GeomRow(atom)[GEOM_LABEL]);
    std::vector<std::string> lines = {AtomLine(atom)};
    std::vector<long long> picked;
    for (double label : pickedLabels) picked.push_back(AtomOfLabel(label));
    if (std::find(picked.begin(), picked.end(), -1LL) != picked.end()) return lines;  // an earlier pick left the frame
    if (picked.size() == 2) {
        lines.push_back(DistanceLine(picked[0], picked[1]));
        std::string axes = AxesLine(picked[0], picked[1]);
        if (!axes.empty()) lines.push_back(axes);
    }
    if (picked.size() == 3) lines.push_back(AngleLine(picked[0], picked[1], picked[2]));
    return lines;
}
