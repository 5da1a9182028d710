// Unique axes, the order tensor's S and director, the orientation colours, and the view fit.
#include "core/order.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "core/scene.h"
#include "core/view_fit.h"
#include "io/dump/dump_reader.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

void AddSpecies(double hx, double hy, double hz) {
    shape.insert(shape.end(), {hx, hy, hz});
    color.insert(color.end(), {0.9, 0.1, 0.1});
    ++species;
}

void AddAtom(int n, const double* position, const double* quaternion) {
    double row[GEOM_STRIDE] = {static_cast<double>(atoms + 1), static_cast<double>(n), position[0], position[1],
                               position[2], quaternion[0], quaternion[1], quaternion[2], quaternion[3]};
    geom.insert(geom.end(), row, row + GEOM_STRIDE);
    ++atoms;
}

void AddAtomAt(int n, double x, double y, double z, double w, double qx, double qy, double qz) {
    const double position[3] = {x, y, z}, quaternion[4] = {w, qx, qy, qz};
    AddAtom(n, position, quaternion);
}

const double HALF_TURN_Z = std::sqrt(0.5);  // w and z of 90 degrees about z: body x becomes scene y

}  // namespace

using UniqueAxisRule = SceneTest;

TEST_F(UniqueAxisRule, RodsDiscsTiesAndSpheres) {
    AddSpecies(1.5, 0.5, 0.5);  // rod along x
    AddSpecies(0.5, 2.0, 0.5);  // rod along y
    AddSpecies(1.0, 1.0, 0.2);  // disc: its short axis z
    AddSpecies(3.0, 2.0, 1.0);  // x and z differ equally from the others: the longer, x
    AddSpecies(1.0, 2.0, 3.0);  // the same tie the other way round: z
    AddSpecies(2.0, 2.0, 2.0);  // sphere
    AddSpecies(0.0, 0.0, 0.0);  // point particle
    const int expected[] = {0, 1, 2, 0, 2, -1, -1};
    for (int n = 1; n <= species; ++n) EXPECT_EQ(UniqueAxis(n), expected[n - 1]) << "species " << n;
}

TEST_F(UniqueAxisRule, DirectionFollowsTheDrawnRotation) {
    AddSpecies(1.5, 0.5, 0.5);
    AddSpecies(1.0, 1.0, 1.0);
    double u[3];
    const double turn[4] = {HALF_TURN_Z, 0, 0, HALF_TURN_Z};
    ASSERT_TRUE(UniqueAxisDirection(1, turn, u));
    EXPECT_NEAR(u[0], 0, 1e-12);
    EXPECT_NEAR(u[1], 1, 1e-12);
    EXPECT_NEAR(u[2], 0, 1e-12);
    const double points[4] = {0, 0, 0, 0};  // LAMMPS point particles: no rotation
    ASSERT_TRUE(UniqueAxisDirection(1, points, u));
    EXPECT_NEAR(u[0], 1, 1e-12);
    EXPECT_FALSE(UniqueAxisDirection(2, turn, u));
}

using OrderOfFrame = SceneTest;

TEST_F(OrderOfFrame, AlignedRodsGiveOneAndTheirAxis) {
    AddSpecies(1.5, 0.5, 0.5);
    AddSpecies(1.0, 1.0, 1.0);
    for (int i = 0; i < 50; ++i) {
        // Every rod along -y or +y (turned by -90 or +90 degrees about z), with spheres in any orientation between.
        double sign = i % 2 ? 1 : -1;
        AddAtomAt(1, i, 2 * i, 0, HALF_TURN_Z, 0, 0, sign * HALF_TURN_Z);
        AddAtomAt(2, -i, 0, 0, 0.6, 0.8, 0, 0);
    }
    OrderParameter order = FrameOrder();
    ASSERT_TRUE(order.exists);
    EXPECT_NEAR(order.S, 1.0, 1e-12);
    EXPECT_NEAR(order.director[0], 0, 1e-9);
    EXPECT_NEAR(order.director[1], 1, 1e-9);  // the largest component made positive
    EXPECT_NEAR(order.director[2], 0, 1e-9);
    EXPECT_EQ(OrderLine(7, order), "Time step 7: order parameter S = 1.0000, director (0.0000, 1.0000, 0.0000)");
}

TEST_F(OrderOfFrame, RandomOrientationsGiveAboutOneOverRootN) {
    AddSpecies(0.4, 0.4, 0.1);  // discs: the unique axis is the short one
    std::mt19937 random(13);
    std::normal_distribution<double> gauss;
    const int count = 20000;
    for (int i = 0; i < count; ++i) {
        double q[4], length = 0;
        for (double& c : q) {
            c = gauss(random);  // four normal components: uniform on the sphere of quaternions
            length += c * c;
        }
        for (double& c : q) c /= std::sqrt(length);
        if (q[0] < 0)
            for (double& c : q) c = -c;
        const double position[3] = {0, 0, 0};
        AddAtom(1, position, q);
    }
    OrderParameter order = FrameOrder();
    ASSERT_TRUE(order.exists);
    EXPECT_GT(order.S, 0.0);
    EXPECT_LT(order.S, 4 / std::sqrt(static_cast<double>(count)));
    EXPECT_NEAR(std::hypot(order.director[0], order.director[1], order.director[2]), 1.0, 1e-12);
}

TEST_F(OrderOfFrame, SpheresAloneHaveNone) {
    AddSpecies(1.0, 1.0, 1.0);
    AddAtomAt(1, 0, 0, 0, 1, 0, 0, 0);
    AddAtomAt(1, 5, 0, 0, 0, 0, 0, 1);
    OrderParameter order = FrameOrder();
    EXPECT_FALSE(order.exists);
    EXPECT_EQ(OrderLine(3, order), "Time step 3: no order parameter, the frame has no non-spherical particle.");
    colourByOrientation = true;
    frameOrder = order;
    float rgb[3] = {0.9f, 0.1f, 0.1f};
    EXPECT_FALSE(OrientationColour(1, &geom[GEOM_QW], rgb));  // keeps the species colour
    EXPECT_EQ(rgb[0], 0.9f);
}

// The shared LAMMPS Gay-Berne run against numpy (tests/unit/reference/order_reference.py made the table).
TEST_F(OrderOfFrame, GayBerneRunMatchesNumpy) {
    std::string dump = DataFile("lammps/gb_nematic.dump");
    if (dump.empty()) GTEST_SKIP() << "shared data not found";
    std::ifstream table(std::string(OVALIX_SOURCE_DIR) + "/tests/unit/reference/gb_nematic_order.txt");
    ASSERT_TRUE(table.good());
    AddSpecies(1.5, 0.5, 0.5);
    AddSpecies(1.3, 0.45, 0.45);
    inname = dump;
    quat = true;
    RunCaptured([] { OpenQuatFile(); });
    ASSERT_EQ(FrameCount(), 11);
    int k = 0;
    double s = 0, d[3];
    for (int expectedFrame; table >> expectedFrame >> s >> d[0] >> d[1] >> d[2]; ++k) {
        frame = expectedFrame;
        infile.clear();
        infile.seekg(counter[frame]);
        RunCaptured([] { ReadQuatFrame(); });
        ASSERT_EQ(atoms, 3200);
        OrderParameter order = FrameOrder();
        ASSERT_TRUE(order.exists);
        // LAMMPS writes six digits: quaternions are normalised to about 1e-6.
        EXPECT_NEAR(order.S, s, 2e-6) << "frame " << frame;
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(order.director[j], d[j], 2e-5) << "frame " << frame;
    }
    EXPECT_EQ(k, 11);
}

using OrientationColours = SceneTest;

TEST_F(OrientationColours, ViridisEndsAlongAndAcrossTheDirector) {
    float rgb[3];
    Viridis(0.0, rgb);
    EXPECT_NEAR(rgb[0], 0.267004, 1e-6);
    EXPECT_NEAR(rgb[1], 0.004874, 1e-6);
    EXPECT_NEAR(rgb[2], 0.329415, 1e-6);
    Viridis(2.0, rgb);  // clamped to the yellow end
    EXPECT_NEAR(rgb[0], 0.993248, 1e-6);
    EXPECT_NEAR(rgb[1], 0.906157, 1e-6);
    EXPECT_NEAR(rgb[2], 0.143936, 1e-6);
    float middle[3];
    Viridis(0.5, middle);  // between entries 127 and 128: a teal green
    EXPECT_GT(middle[1], middle[0]);

    AddSpecies(1.5, 0.5, 0.5);
    colourByOrientation = true;
    frameOrder = {true, 0.5, {1, 0, 0}};
    const double along[4] = {-1, 0, 0, 0}, across[4] = {HALF_TURN_Z, 0, 0, HALF_TURN_Z};
    float colour[3] = {0, 0, 0};
    ASSERT_TRUE(OrientationColour(1, along, colour));
    EXPECT_NEAR(colour[1], 0.906157, 1e-6);
    ASSERT_TRUE(OrientationColour(1, across, colour));
    EXPECT_NEAR(colour[1], 0.004874, 1e-6);
    colourByOrientation = false;
    EXPECT_FALSE(OrientationColour(1, along, colour));
}

using ViewFit = SceneTest;

TEST_F(ViewFit, SphereAroundEveryEllipsoid) {
    EXPECT_EQ(SceneRadius(), 0.0);
    AddSpecies(1.0, 1.0, 1.0);
    AddSpecies(0.5, 2.0, 0.5);
    AddAtomAt(1, 7, 1, 1, 1, 0, 0, 0);
    AddAtomAt(2, 1, 1, 1, 1, 0, 0, 0);  // centre (4, 1, 1): both atoms 3 units from it
    EXPECT_NEAR(SceneRadius(), 5.0, 1e-12);
}

TEST_F(ViewFit, OutlineFillsTheSmallerDimensionLessTheMargins) {
    const double halfTan = std::tan(22.5 * std::acos(-1.0) / 180);
    for (double radius : {0.01, 1.0, 40.0, 5000.0, 1e7}) {
        double wide = FitDistance(radius, 1024, 640), tall = FitDistance(radius, 400, 800);
        // The tangent of the half angle that the sphere fills, against the half view of the smaller side.
        EXPECT_NEAR(std::tan(std::asin(radius / wide)), 0.9 * halfTan, 1e-12);
        EXPECT_NEAR(std::tan(std::asin(radius / tall)), 0.9 * halfTan * 400 / 800, 1e-12);
        double nearPlane = 0, farPlane = 0;
        FitClipPlanes(wide, radius, nearPlane, farPlane);
        EXPECT_GT(nearPlane, 0.0);
        EXPECT_LE(nearPlane, std::max(1.0, 1e-4 * farPlane));
        EXPECT_LT(nearPlane, wide - radius);
        EXPECT_GT(farPlane, wide + radius);
    }
}
