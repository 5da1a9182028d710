// Ellipsoid maths: tensor layout, eigen-decomposition, handedness and matrix-to-quaternion conversion.
#include "io/pdb/anisou.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/geometry.h"
#include "tests/support/test_support.h"

namespace {

// Column k of a row-major 3 x 3 matrix.
void Column(const double* m, int k, double* v) {
    for (int i = 0; i < 3; ++i) v[i] = m[3 * i + k];
}

// Largest |A v - lambda v| component.
double EigenResidual(const double* a, double lambda, const double* v) {
    double worst = 0;
    for (int i = 0; i < 3; ++i) {
        double av = a[3 * i] * v[0] + a[3 * i + 1] * v[1] + a[3 * i + 2] * v[2];
        worst = std::fmax(worst, std::fabs(av - lambda * v[i]));
    }
    return worst;
}

// Largest |M^T M - I| element.
double OrthonormalityError(const double* m) {
    double worst = 0;
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) {
            double dot = 0;
            for (int i = 0; i < 3; ++i) dot += m[3 * i + j] * m[3 * i + k];
            worst = std::fmax(worst, std::fabs(dot - (j == k ? 1.0 : 0.0)));
        }
    return worst;
}

double MaxDifference(const double* a, const double* b, int n) {
    double worst = 0;
    for (int k = 0; k < n; ++k) worst = std::fmax(worst, std::fabs(a[k] - b[k]));
    return worst;
}

// Random symmetric positive-definite tensor M M^T + small diagonal, entries of order 1.
void RandomSpdTensor(std::mt19937& random, double* a) {
    std::normal_distribution<double> normal;
    double m[9];
    for (double& x : m) x = normal(random);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = i == j ? 0.01 : 0.0;
            for (int k = 0; k < 3; ++k) sum += m[3 * i + k] * m[3 * j + k];
            a[3 * i + j] = sum;
        }
}

// Random unit quaternion (w, x, y, z).
void RandomRotation(std::mt19937& random, double* q) {
    std::normal_distribution<double> normal;
    double norm = 0;
    for (int k = 0; k < 4; ++k) {
        q[k] = normal(random);
        norm += q[k] * q[k];
    }
    norm = std::sqrt(norm);
    for (int k = 0; k < 4; ++k) q[k] /= norm;
}

// NOTE: the first branch divides by 4w whenever t = 4w^2 > 0, so near a half turn (w close to 0) the rounding
// of t spreads into the result: its error grows like epsilon / w^2. Comparisons allow for that.
double QuaternionTolerance(double w) { return 1e-12 + 1e-15 / std::fmax(w * w, 1e-8); }

// The six ANISOU values (U11, U22, U33, U12, U13, U23) of a tensor given in square angstrom.
void AnisouValues(const double* a, double* u) {
    const double values[6] = {a[0], a[4], a[8], a[1], a[2], a[5]};
    for (int k = 0; k < 6; ++k) u[k] = values[k] / ANISOU_SCALE;
}

}  // namespace

TEST(AnisouTensor, SymmetricLayoutScaledToSquareAngstrom) {
    const double u[6] = {11, 22, 33, 12, 13, 23};
    double a[9];
    AnisouTensor(u, a);
    const double expected[9] = {11, 12, 13, 12, 22, 23, 13, 23, 33};
    for (int k = 0; k < 9; ++k) EXPECT_DOUBLE_EQ(a[k], expected[k] * 0.0001) << "element " << k;
}

TEST(SymmetricEigen, EveryPairSatisfiesTheEigenEquationAndVectorsAreOrthonormal) {
    EigenSolver solver = NewEigenSolver();
    std::mt19937 random(20240611);
    std::vector<std::vector<double>> tensors = {
        {1, 0, 0, 0, 2, 0, 0, 0, 3},
        {0.6543, -0.0263, -0.2488, -0.0263, 0.5194, 0.0041, -0.2488, 0.0041, 0.4883},
        {0.1683, 0.0159, 0.0198, 0.0159, 0.1898, -0.0377, 0.0198, -0.0377, 0.3434},
        {2, 2, 0, 2, 2, 0, 0, 0, -1},  // indefinite, eigenvalues 4, 0, -1
        {0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (int n = 0; n < 2000; ++n) {
        std::vector<double> a(9);
        RandomSpdTensor(random, a.data());
        tensors.push_back(a);
    }
    for (const auto& a : tensors) {
        double values[3];
        double vectors[9];
        SymmetricEigen(solver, a.data(), values, vectors);
        const double scale = 1 + std::fabs(a[0]) + std::fabs(a[4]) + std::fabs(a[8]);
        for (int k = 0; k < 3; ++k) {
            double v[3];
            Column(vectors, k, v);
            EXPECT_LT(EigenResidual(a.data(), values[k], v), 1e-12 * scale) << "pair " << k;
        }
        EXPECT_LT(OrthonormalityError(vectors), 1e-12);
        // Invariants: the eigenvalues' sum is the trace and their product the determinant.
        EXPECT_NEAR(values[0] + values[1] + values[2], a[0] + a[4] + a[8], 1e-12 * scale);
        EXPECT_NEAR(values[0] * values[1] * values[2], Determinant(a.data()), 1e-11 * scale * scale * scale);
    }
}

TEST(SymmetricEigen, IndefiniteTensorKeepsItsNegativeEigenvalue) {
    EigenSolver solver = NewEigenSolver();
    const double a[9] = {2, 2, 0, 2, 2, 0, 0, 0, -1};
    double values[3];
    double vectors[9];
    SymmetricEigen(solver, a, values, vectors);
    std::vector<double> sorted(values, values + 3);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(sorted[0], -1, 1e-14);
    EXPECT_NEAR(sorted[1], 0, 1e-14);
    EXPECT_NEAR(sorted[2], 4, 1e-14);
}

TEST(MatrixQuaternion, EdgeCasesOfTheFourBranches) {
    struct Case {
        double r[9];
        double q[4];
    };
    const double h = std::sqrt(0.5);
    const Case cases[] = {
        {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0, 0}},     // t = 4
        {{1, 0, 0, 0, -1, 0, 0, 0, -1}, {0, 1, 0, 0}},   // t = 0: second branch
        {{-1, 0, 0, 0, 1, 0, 0, 0, -1}, {0, 0, 1, 0}},   // third branch
        {{-1, 0, 0, 0, -1, 0, 0, 0, 1}, {0, 0, 0, 1}},   // fourth branch
        {{0, 1, 0, 1, 0, 0, 0, 0, -1}, {0, h, h, 0}},    // 180 degrees about (1,1,0): R00 = R11 falls through to the third
        {{-1, 0, 0, 0, 0, 1, 0, 1, 0}, {0, 0, h, h}},    // 180 degrees about (0,1,1): R11 = R22 falls through to the fourth
        {{0, 0, 1, 0, -1, 0, 1, 0, 0}, {0, h, 0, h}},    // 180 degrees about (1,0,1): R00 = R22 falls through to the fourth
        {{0, -1, 0, 1, 0, 0, 0, 0, 1}, {h, 0, 0, h}},    // 90 degrees about z
    };
    for (const Case& c : cases) {
        double q[4];
        MatrixQuaternion(c.r, q);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(q[k], c.q[k], 1e-15) << "component " << k;
    }
}

TEST(MatrixQuaternion, ExactEdgeCasesAreExact) {
    const double diagonals[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    for (int n = 0; n < 4; ++n) {
        const double r[9] = {diagonals[n][0], 0, 0, 0, diagonals[n][1], 0, 0, 0, diagonals[n][2]};
        double q[4];
        MatrixQuaternion(r, q);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(q[k], k == n ? 1.0 : 0.0) << "diagonal " << n << " component " << k;
    }
}

TEST(MatrixQuaternion, ReproducesEveryProperRotation) {
    std::mt19937 random(7);
    for (int n = 0; n < 5000; ++n) {
        double q0[4];
        RandomRotation(random, q0);
        double r[9];
        QuaternionMatrix(q0, r);
        double q[4];
        MatrixQuaternion(r, q);
        double back[9];
        QuaternionMatrix(q, back);
        const double tolerance = QuaternionTolerance(q0[0]);
        EXPECT_LT(MaxDifference(r, back, 9), tolerance);
        // The same rotation has two quaternions, q and -q; the first branch returns the one with w > 0.
        const double sign = q0[0] < 0 ? -1 : 1;
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(q[k], sign * q0[k], tolerance);
    }
}

TEST(MatrixQuaternion, AReflectionGivesTheSameFormulas) {
    // Eigenvectors (0,1,0), (1,0,0), (0,0,1) form a reflection; the formulas give a quaternion without vector part,
    // whose matrix is the identity: the body axes are not carried onto the eigenvectors.
    const double reflection[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};
    double q[4];
    MatrixQuaternion(reflection, q);
    EXPECT_DOUBLE_EQ(q[0], std::sqrt(0.5));
    EXPECT_EQ(q[1], 0);
    EXPECT_EQ(q[2], 0);
    EXPECT_EQ(q[3], 0);
    double drawn[9];
    QuaternionMatrix(q, drawn);
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_LT(MaxDifference(drawn, identity, 9), 1e-15);
}

TEST(MakeRightHanded, NegatesOnlyTheThirdColumnOfAReflection) {
    double reflection[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};
    MakeRightHanded(reflection);
    const double fixed[9] = {0, 1, 0, 1, 0, 0, 0, 0, -1};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(reflection[k], fixed[k]) << "element " << k;
    EXPECT_DOUBLE_EQ(Determinant(reflection), 1);

    double rotation[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    const double unchanged[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    MakeRightHanded(rotation);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(rotation[k], unchanged[k]) << "element " << k;
}

TEST(MakeRightHanded, QuaternionCarriesBodyAxesOntoTheColumnsForBothHandednesses) {
    std::mt19937 random(11);
    for (int n = 0; n < 1000; ++n) {
        double q0[4];
        RandomRotation(random, q0);
        double columns[9];
        QuaternionMatrix(q0, columns);
        if (n % 2 == 1)
            for (int i = 0; i < 3; ++i) columns[3 * i + 2] = -columns[3 * i + 2];  // a reflection
        const double original[9] = {columns[0], columns[1], columns[2], columns[3], columns[4],
                                    columns[5], columns[6], columns[7], columns[8]};
        ASSERT_NEAR(Determinant(columns), n % 2 == 1 ? -1 : 1, 1e-12);
        MakeRightHanded(columns);
        double q[4];
        MatrixQuaternion(columns, q);
        double drawn[9];
        QuaternionMatrix(q, drawn);
        // Body x and y go onto the first two columns; body z onto the third up to its sign.
        const double tolerance = QuaternionTolerance(q[0]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(drawn[3 * i], original[3 * i], tolerance);
            EXPECT_NEAR(drawn[3 * i + 1], original[3 * i + 1], tolerance);
            EXPECT_NEAR(drawn[3 * i + 2], (n % 2 == 1 ? -1 : 1) * original[3 * i + 2], tolerance);
        }
        EXPECT_NEAR(Determinant(drawn), 1, 3 * tolerance);
    }
}

TEST(AnisouEllipsoid, IsotropicTensorGivesEqualHalfRadiiWithoutSquareRoot) {
    EigenSolver solver = NewEigenSolver();
    const double u[6] = {20000, 20000, 20000, 0, 0, 0};
    double radii[3];
    double q[4];
    AnisouEllipsoid(solver, u, radii, q);
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(radii[k], 2);
    EXPECT_DOUBLE_EQ(q[0], 1);
    EXPECT_DOUBLE_EQ(q[1], 0);
    EXPECT_DOUBLE_EQ(q[2], 0);
    EXPECT_DOUBLE_EQ(q[3], 0);
}

TEST(AnisouEllipsoid, NegativeEigenvalueIsStoredUnchanged) {
    EigenSolver solver = NewEigenSolver();
    const double u[6] = {-123456, 300, 500, 0, 0, 0};
    double radii[3];
    double q[4];
    AnisouEllipsoid(solver, u, radii, q);
    std::vector<double> sorted(radii, radii + 3);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(sorted[0], -12.3456, 1e-12);
    EXPECT_NEAR(sorted[1], 0.03, 1e-15);
    EXPECT_NEAR(sorted[2], 0.05, 1e-15);
}

TEST(AnisouEllipsoid, DrawnAxesAreTheEigenvectorsOfTheirHalfRadii) {
    // Diagonal tensors come back from the solver as a rotation (identity), general ones as a reflection:
    // both handednesses must end up drawn along the eigenvectors.
    EigenSolver solver = NewEigenSolver();
    std::mt19937 random(3);
    std::vector<std::vector<double>> tensors = {
        {0.1, 0, 0, 0, 0.2, 0, 0, 0, 0.3}, {0.5, 0, 0, 0, 0.1, 0, 0, 0, 0.3}, {0.3, 0, 0, 0, 0.2, 0, 0, 0, 0.1}};
    for (int n = 0; n < 2000; ++n) {
        std::vector<double> a(9);
        RandomSpdTensor(random, a.data());
        tensors.push_back(a);
    }
    int rightHanded = 0;
    int leftHanded = 0;
    for (const auto& a : tensors) {
        double values[3];
        double vectors[9];
        SymmetricEigen(solver, a.data(), values, vectors);
        (Determinant(vectors) > 0 ? rightHanded : leftHanded) += 1;

        double u[6];
        AnisouValues(a.data(), u);
        double tensor[9];
        AnisouTensor(u, tensor);  // the tensor as the ellipsoid sees it, after the round trip through U
        double radii[3];
        double q[4];
        AnisouEllipsoid(solver, u, radii, q);
        double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        const double tolerance = QuaternionTolerance(q[0]);
        EXPECT_NEAR(norm, 1, tolerance);
        double drawn[9];
        QuaternionMatrix(q, drawn);
        const double scale = 1 + std::fabs(tensor[0]) + std::fabs(tensor[4]) + std::fabs(tensor[8]);
        for (int k = 0; k < 3; ++k) {
            double axis[3];
            Column(drawn, k, axis);
            EXPECT_LT(EigenResidual(tensor, radii[k], axis), 10 * tolerance * scale) << "body axis " << k;
        }
    }
    EXPECT_GT(rightHanded, 0);
    EXPECT_GT(leftHanded, 0);
}
