// Frame centre, quaternion rotations and bond end points.
#include "core/geometry.h"

#include <cfloat>
#include <cmath>

#include "core/scene.h"
#include "tests/support/test_support.h"

namespace {

// One atom row: label, species, position, quaternion.
void AddAtom(int species_number, double x, double y, double z, double w, double qx, double qy, double qz) {
    double row[GEOM_STRIDE] = {static_cast<double>(atoms + 1), static_cast<double>(species_number), x, y, z, w, qx, qy, qz};
    geom.insert(geom.end(), row, row + GEOM_STRIDE);
    ++atoms;
}

// Rotates v by the quaternion with the textbook Hamilton product q v q*, independently of QuaternionMatrix.
void RotateByQuaternion(const double* q, const double* v, double* out) {
    double w = q[0], x = q[1], y = q[2], z = q[3];
    double tw = -x * v[0] - y * v[1] - z * v[2];
    double tx = w * v[0] + y * v[2] - z * v[1];
    double ty = w * v[1] + z * v[0] - x * v[2];
    double tz = w * v[2] + x * v[1] - y * v[0];
    out[0] = -tw * x + tx * w - ty * z + tz * y;
    out[1] = -tw * y + ty * w - tz * x + tx * z;
    out[2] = -tw * z + tz * w - tx * y + ty * x;
}

}  // namespace

using Average = SceneTest;

TEST_F(Average, EmptyFrameIsOrigin) {
    std::vector<double> centre = average();
    EXPECT_EQ(centre, std::vector<double>({0.0, 0.0, 0.0}));
}

TEST_F(Average, MeanOfPositions) {
    AddAtom(1, 10, 10, 10, 1, 0, 0, 0);
    AddAtom(1, 10, 10, 10, 1, 0, 0, 0);
    EXPECT_EQ(average(), std::vector<double>({10.0, 10.0, 10.0}));
    AddAtom(1, -5, 4, 1, 1, 0, 0, 0);
    std::vector<double> centre = average();
    EXPECT_DOUBLE_EQ(centre[0], 5.0);
    EXPECT_DOUBLE_EQ(centre[1], 8.0);
    EXPECT_DOUBLE_EQ(centre[2], 7.0);
}

// The largest finite positions overflow a plain sum; the centre must still be the finite mean.
TEST_F(Average, PositionsNearTheLargestDoubleGiveAFiniteCentre) {
    const double big = 1.5e308;
    AddAtom(1, big, -big, 1, 1, 0, 0, 0);
    AddAtom(1, big, -big, 2, 1, 0, 0, 0);
    AddAtom(1, -big, big, 3, 1, 0, 0, 0);
    AddAtom(1, -big, -big, 4, 1, 0, 0, 0);
    std::vector<double> centre = average();
    EXPECT_EQ(centre[0], 0.0);
    EXPECT_DOUBLE_EQ(centre[1], -big / 2);
    EXPECT_DOUBLE_EQ(centre[2], 2.5);
    AddAtom(1, DBL_MAX, DBL_MAX, DBL_MAX, 1, 0, 0, 0);
    AddAtom(1, DBL_MAX, DBL_MAX, DBL_MAX, 1, 0, 0, 0);
    for (double c : average()) EXPECT_TRUE(std::isfinite(c));
}

TEST(FitsInFloat, OnlyFiniteValuesWithinSinglePrecision) {
    const double fits[3] = {FLT_MAX, -FLT_MAX, 0};
    EXPECT_TRUE(FitsInFloat(fits, 3));
    for (double bad : {3.5e38, -1e300, HUGE_VAL, -HUGE_VAL, std::nan("")}) {
        const double values[3] = {1, 2, bad};
        EXPECT_FALSE(FitsInFloat(values, 3)) << bad;
        EXPECT_TRUE(FitsInFloat(values, 2)) << "only the first values are looked at";
    }
}

TEST(QuaternionAxisAngle, IdentityAndHalfTurns) {
    double degrees = -1, axis[3];
    const double identity[4] = {1, 0, 0, 0};
    QuaternionAxisAngle(identity, degrees, axis);
    EXPECT_DOUBLE_EQ(degrees, 0.0);

    const double aboutZ[4] = {0, 0, 0, 1};
    QuaternionAxisAngle(aboutZ, degrees, axis);
    EXPECT_DOUBLE_EQ(degrees, 180.0);
    EXPECT_DOUBLE_EQ(axis[2], 1.0);

    // Only the axis is normalised: (cos 45°, 0, 0, 3 sin 45°) still turns 90° about z.
    const double scaledAxis[4] = {std::sqrt(0.5), 0, 0, 3 * std::sqrt(0.5)};
    QuaternionAxisAngle(scaledAxis, degrees, axis);
    EXPECT_NEAR(degrees, 90.0, 1e-12);
    EXPECT_NEAR(axis[2], 1.0, 1e-15);
}

TEST(QuaternionAxisAngle, NeverProducesNaN) {
    double degrees = 0, axis[3];
    const double slightlyAbove[4] = {1.0000004, 1e-7, 0, 0};
    QuaternionAxisAngle(slightlyAbove, degrees, axis);
    EXPECT_DOUBLE_EQ(degrees, 0.0);
    const double slightlyBelow[4] = {-1.0000004, 0, 1e-7, 0};
    QuaternionAxisAngle(slightlyBelow, degrees, axis);
    EXPECT_DOUBLE_EQ(degrees, 360.0);
    EXPECT_FALSE(std::isnan(axis[1]));
    const double pointParticle[4] = {0, 0, 0, 0};
    QuaternionAxisAngle(pointParticle, degrees, axis);
    EXPECT_DOUBLE_EQ(degrees, 0.0);
}

TEST(QuaternionMatrix, AgreesWithHamiltonProduct) {
    double q[4] = {0.3, -0.5, 0.7, 0.2};
    double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& c : q) c /= norm;
    double m[9];
    QuaternionMatrix(q, m);
    const double v[3] = {1.5, -2.0, 0.25};
    double expected[3];
    RotateByQuaternion(q, v, expected);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2], expected[i], 1e-12);
}

class BondEndPointTest : public SceneTest {
  protected:
    void SetUp() override {
        SceneTest::SetUp();
        species = 1;
        bondvec = {1, 0, 0, 0, 0, 0.5};  // origin 1: (1, 0, 0); origin 2: (0, 0, 0.5)
    }
};

TEST_F(BondEndPointTest, IdentityTurnAndGeneralRotation) {
    AddAtom(1, 0, 0, 0, 1, 0, 0, 0);
    AddAtom(1, 3, 0, 0, 0, 0, 0, 1);  // half turn about z
    double s = std::sqrt(0.5);
    AddAtom(1, 0, 6, 0, s, s, 0, 0);  // quarter turn about x
    const std::vector<double> centre = {0, 0, 0};
    double end[3];

    BondEndPoint(1, 1, centre, end);
    EXPECT_DOUBLE_EQ(end[0], -1.0);
    EXPECT_DOUBLE_EQ(end[1], 0.0);

    BondEndPoint(2, 1, centre, end);
    EXPECT_DOUBLE_EQ(end[0], 4.0);  // 3 - (-1): the turned origin is subtracted
    EXPECT_NEAR(end[1], 0.0, 1e-15);

    // Quarter turn about x carries (0, 0, 0.5) to (0, -0.5, 0); the end is (0, 6.5, 0).
    BondEndPoint(3, 2, centre, end);
    EXPECT_NEAR(end[0], 0.0, 1e-15);
    EXPECT_NEAR(end[1], 6.5, 1e-15);
    EXPECT_NEAR(end[2], 0.0, 1e-15);
}

TEST_F(BondEndPointTest, CentreIsSubtracted) {
    AddAtom(1, 10, 10, 10, 1, 0, 0, 0);
    double end[3];
    BondEndPoint(1, 2, {10, 10, 10}, end);
    EXPECT_DOUBLE_EQ(end[0], 0.0);
    EXPECT_DOUBLE_EQ(end[1], 0.0);
    EXPECT_DOUBLE_EQ(end[2], -0.5);
}

TEST_F(BondEndPointTest, OriginOutsideTableEndsTheProgram) {
    AddAtom(1, 0, 0, 0, 1, 0, 0, 0);
    double end[3];
    ConsoleRun run = RunCaptured([&] { BondEndPoint(1, 3, {0, 0, 0}, end); });
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("bondvec"), std::string::npos);
    run = RunCaptured([&] { BondEndPoint(2, 1, {0, 0, 0}, end); });
    EXPECT_TRUE(run.exited);
}
