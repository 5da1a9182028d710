// Orientational order: unique axes, the order tensor Q, S and the director, and orientation colours.
#include "core/order.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/geometry.h"
#include "core/local_order.h"
#include "core/eigen.h"  // Required for: EigenSolver, SymmetricEigen (GSL's symmetric eigensolver)

static double HalfRadius(int n, int k) { return entry(shape, SPECIES_STRIDE * (n - 1LL) + k, "shape"); }

int UniqueAxis(int n) {
    double h[3] = {HalfRadius(n, 0), HalfRadius(n, 1), HalfRadius(n, 2)};
    if (h[0] == h[1] && h[1] == h[2]) return -1;
    int best = -1;
    double bestDeviation = -1;
    for (int k = 0; k < 3; ++k) {
        double deviation = std::fabs(h[k] - (h[(k + 1) % 3] + h[(k + 2) % 3]) / 2);
        if (!std::isfinite(deviation)) return -1;
        // On a tie the longer axis wins: (3, 2, 1) is taken as a rod along its first axis.
        if (deviation > bestDeviation || (deviation == bestDeviation && h[k] > h[best])) {
            best = k;
            bestDeviation = deviation;
        }
    }
    return best;
}

// v turned by `degrees` about the unit axis (Rodrigues' formula), the rotation CreateEllipsoid hands OpenGL.
static void TurnVector(double degrees, const double* axis, const double* v, double* out) {
    double angle = degrees * pi / 180, c = std::cos(angle), s = std::sin(angle);
    double along = axis[0] * v[0] + axis[1] * v[1] + axis[2] * v[2];
    double cross[3] = {axis[1] * v[2] - axis[2] * v[1], axis[2] * v[0] - axis[0] * v[2], axis[0] * v[1] - axis[1] * v[0]};
    for (int k = 0; k < 3; ++k) out[k] = v[k] * c + cross[k] * s + axis[k] * along * (1 - c);
}

bool UniqueAxisDirection(int n, const double* quaternion, double* u) {
    int k = UniqueAxis(n);
    if (k < 0) return false;
    double degrees = 0, axis[3] = {0, 0, 0}, body[3] = {0, 0, 0};
    body[k] = 1;
    QuaternionAxisAngle(quaternion, degrees, axis);
    TurnVector(degrees, axis, body, u);
    double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    if (!(length > 0) || !std::isfinite(length)) return false;
    for (int j = 0; j < 3; ++j) u[j] /= length;
    return true;
}

// The director's sign is free: its largest component is made positive so that it reads the same every frame.
static void OrientDirector(double* director) {
    int largest = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(director[k]) > std::fabs(director[largest])) largest = k;
    if (director[largest] < 0)
        for (int k = 0; k < 3; ++k) director[k] = -director[k];
}

OrderParameter FrameOrder() {
    OrderParameter order = {false, 0.0, {0.0, 0.0, 0.0}};
    double sum[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0}, u[3];
    long long counted = 0;
    for (long long i = 0; i < atoms; ++i) {
        const double* row = GeomRow(i);
        // A species number outside the tables is left to the drawing, which reports it.
        if (!(row[GEOM_TYPE] >= 1 && row[GEOM_TYPE] < species + 1.0)) continue;
        if (!UniqueAxisDirection(static_cast<int>(row[GEOM_TYPE]), row + GEOM_QW, u)) continue;
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) sum[3 * a + b] += u[a] * u[b];
        ++counted;
    }
    if (counted == 0) return order;
    double q[9];  // Q = mean of (3/2 u u^T - 1/2 I)
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) q[3 * a + b] = 1.5 * sum[3 * a + b] / counted - (a == b ? 0.5 : 0.0);
    EigenSolver solver = NewEigenSolver();
    double values[3], vectors[9];
    SymmetricEigen(solver, q, values, vectors);
    int largest = 0;
    for (int k = 1; k < 3; ++k)
        if (values[k] > values[largest]) largest = k;
    order.exists = true;
    order.S = values[largest];
    for (int k = 0; k < 3; ++k) order.director[k] = vectors[3 * k + largest];  // eigenvectors are columns
    OrientDirector(order.director);
    return order;
}

std::string OrderLine(int frameNumber, const OrderParameter& order) {
    char text[160];
    if (!order.exists)
        std::snprintf(text, sizeof text, "Time step %d: no order parameter, the frame has no non-spherical particle.",
                      frameNumber);
    else
        std::snprintf(text, sizeof text, "Time step %d: order parameter S = %.4f, director (%.4f, %.4f, %.4f)",
                      frameNumber, order.S, order.director[0], order.director[1], order.director[2]);
    return text;
}

void UpdateFrameOrder() {
    if (!colourByOrientation || !orderFrameChanged) return;
    orderFrameChanged = false;
    frameOrder = FrameOrder();
    // The layers along the director come with it: tau and the spacing that gives it.
    std::cout << OrderLine(frame, frameOrder) << (frameOrder.exists ? ", " + SmecticSummary(FrameSmectic()) : "")
              << std::endl;
}

bool OrientationColour(int n, const double* quaternion, float* rgb) {
    double u[3];
    if (!colourByOrientation || !frameOrder.exists || !UniqueAxisDirection(n, quaternion, u)) return false;
    const double* d = frameOrder.director;
    Viridis(std::fabs(u[0] * d[0] + u[1] * d[1] + u[2] * d[2]), rgb);
    return true;
}
