// The per-particle records of the ray-cast drawing, and the switches that turn it on: the configuration
// keyword and the offscreen option.
#include "core/raycast_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/order.h"
#include "core/scene.h"
#include "headless/render_options.h"
#include "io/config/config_reader.h"
#include "tests/support/test_support.h"

namespace {

using RaycastRecords = SceneTest;
using ReadConfig = SceneTest;

// The rotation glRotate(angle, axis) applies, by Rodrigues' formula, row-major.
void RotationAbout(double degrees, const double* axis, double* m) {
    double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    double u[3] = {axis[0] / length, axis[1] / length, axis[2] / length};
    double c = std::cos(degrees * pi / 180), s = std::sin(degrees * pi / 180);
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) m[3 * r + k] = (r == k ? c : 0) + (1 - c) * u[r] * u[k];
    m[1] -= s * u[2], m[2] += s * u[1], m[3] += s * u[2], m[5] -= s * u[0], m[6] -= s * u[1], m[7] += s * u[0];
}

void UnitMatrix(const float* q, double* m) {
    double d[4] = {q[0], q[1], q[2], q[3]};
    QuaternionMatrix(d, m);
}

// Stored quaternions of every kind: unit, too long (as files with few digits write them), without vector part,
// w beyond 1: the record holds the rotation the tessellated drawing gets from glRotate, as a unit quaternion.
TEST_F(RaycastRecords, RotationIsTheOneGlRotateApplies) {
    const double stored[][4] = {{0.5, 0.5, 0.5, 0.5}, {0.0, 0.0, 0.0, 1.0}, {0.5, 0.0, 0.0, 0.5}, {0.9, 0.3, -1.2, 0.4},
                                {-0.3, 0.2, 0.0, -0.1}, {1.0000004, 0.001, 0.0, 0.0}, {0.3, 0.0, 0.0, 0.0}};
    for (const double* q : stored) {
        float unit[4];
        DrawnRotation(q, unit);
        EXPECT_NEAR(unit[0] * unit[0] + unit[1] * unit[1] + unit[2] * unit[2] + unit[3] * unit[3], 1.0, 1e-6);
        double w = std::fmin(std::fmax(q[0], -1.0), 1.0), degrees = 2 * std::acos(w) * 180 / pi;
        double expected[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, got[9];
        if (q[1] != 0 || q[2] != 0 || q[3] != 0) RotationAbout(degrees, q + 1, expected);
        UnitMatrix(unit, got);
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(got[k], expected[k], 2e-6) << q[0] << " " << q[1] << " entry " << k;
    }
}

// Centred positions, half radii and colours of a small frame; atoms that can show no pixel get no record.
TEST_F(RaycastRecords, FrameGivesOneRecordPerDrawableAtom) {
    species = 3;
    shape = {1.5, 0.5, 0.5, 0.0, 1.0, 1.0, -2.0, 2.0, 2.0};  // species 2 is flat; species 3 mirrored
    color = {0.85, 0.2, 0.15, 0.1, 0.2, 0.3, 1.2, -0.1, 0.5};
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> rows = {{1, 1, 10, 0, 0, 1, 0, 0, 0},   {2, 2, -10, 0, 0, 1, 0, 0, 0},
                                             {3, 3, 4, 6, 8, 0, 0, 0, 1},    {4, 1, 1e39, 0, 0, 1, 0, 0, 0},
                                             {5, 1.9, -1e39, 0, 0, 1, 0, 0, 0}, {6, 3, 0, inf, 0, 1, 0, 0, 0}};
    atoms = static_cast<int>(rows.size());
    geom.clear();
    for (const auto& row : rows) geom.insert(geom.end(), row.begin(), row.end());
    std::vector<double> centre = average();
    std::vector<RaycastRecord> records(static_cast<std::size_t>(atoms));
    ASSERT_EQ(FillRaycastRecords(records.data()), 2);  // atoms 1 and 3
    const int kept[2] = {0, 2};
    for (int r = 0; r < 2; ++r) {
        const double* row = GeomRow(kept[r]);
        int n = static_cast<int>(row[GEOM_TYPE]);
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(records[r].centre[k], static_cast<float>(row[GEOM_X + k] - centre[k]));
            EXPECT_FLOAT_EQ(records[r].half[k], static_cast<float>(std::fabs(shape[3 * (n - 1) + k])));
            double channel = std::fmin(std::fmax(color[3 * (n - 1) + k], 0.0), 1.0);
            EXPECT_NEAR(records[r].colour[k], 255 * channel, 0.5);
        }
        EXPECT_EQ(records[r].colour[3], 255);
    }
    EXPECT_NEAR(records[1].rotation[0], 0.0f, 1e-7);  // (0, 0, 0, 1): half a turn about z
    EXPECT_FLOAT_EQ(records[1].rotation[3], 1.0f);

    // Orientation colours replace the species colour by the viridis colour of the angle to the director.
    colourByOrientation = true;
    frameOrder = FrameOrder();
    ASSERT_TRUE(frameOrder.exists);
    ASSERT_EQ(FillRaycastRecords(records.data()), 2);
    float rgb[3];
    ASSERT_TRUE(OrientationColour(1, GeomRow(0) + GEOM_QW, rgb));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(records[0].colour[k], 255 * rgb[k], 0.5);
}

const std::string MINIMAL = R"(dumpfile a.dump
species 1
half_radii 1 1 1 1
color 1 1 1 1
bond_vector 1 1 0 0 0
background 0 0 0
)";

// The keyword switches ray-casting on and says so (no_culling switches culling off, with a line); a later read
// without them switches ray-casting off and culling on again, silently.
TEST_F(ReadConfig, RaycastKeywordSwitchesItOnAndAReadWithoutItOff) {
    std::string path = WriteTempFile("raycast.cfg", "raycast\nno_culling\n" + MINIMAL);
    ConsoleRun run = RunCaptured([&] { ::ReadConfig(path); });
    EXPECT_FALSE(run.exited);
    EXPECT_TRUE(raycastEllipsoids);
    EXPECT_FALSE(occlusionCulling);
    EXPECT_NE(run.output.find("Ray-cast ellipsoids will be used.\nEvery ray-cast ellipsoid will be drawn, hidden ones too.\n"),
              std::string::npos) << run.output;
    EXPECT_FALSE(adaptiveDetail);

    std::string plain = WriteTempFile("plain.cfg", MINIMAL);
    run = RunCaptured([&] { ::ReadConfig(plain); });
    EXPECT_FALSE(run.exited);
    EXPECT_FALSE(raycastEllipsoids);
    EXPECT_TRUE(occlusionCulling);
    EXPECT_EQ(run.output.find("Ray-cast"), std::string::npos) << run.output;
}

TEST_F(RaycastRecords, OffscreenSwitchIsInTheOptionTable) {
    RenderOptions plain, raycast;
    std::string error;
    const char* none[] = {"run.cfg"};
    const char* with[] = {"--raycast", "run.cfg"};
    ASSERT_TRUE(ParseRenderOptions(1, none, plain, error)) << error;
    ASSERT_TRUE(ParseRenderOptions(2, with, raycast, error)) << error;
    EXPECT_FALSE(plain.raycast);
    EXPECT_TRUE(raycast.raycast);
    EXPECT_NE(RenderUsage().find("--raycast"), std::string::npos);
}

}  // namespace
