// Adaptive detail: the level table, the size of an ellipsoid on screen, the choice at the extremes,
// and the configuration keyword that switches it on.
#include "core/detail.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/config/config_reader.h"
#include "tests/support/test_support.h"

namespace {

using ChooseDetail = SceneTest;
using ReadConfig = SceneTest;

// The program's camera: eye at z = 200 looking at the origin, 45 degrees vertical field, near 1, far 400.
DetailView ProgramView(int width, int height, double eyeDistance = 200) {
    DetailView view = {};
    for (int k = 0; k < 4; ++k) view.modelview[5 * k] = 1;
    view.modelview[14] = -eyeDistance;
    double f = 1 / std::tan(22.5 * pi / 180), nearPlane = 1, farPlane = 400;
    view.projection[0] = f * height / width;
    view.projection[5] = f;
    view.projection[10] = (farPlane + nearPlane) / (nearPlane - farPlane);
    view.projection[11] = -1;
    view.projection[14] = 2 * farPlane * nearPlane / (nearPlane - farPlane);
    view.width = width;
    view.height = height;
    return view;
}

struct Choice {
    int slices, stacks;
};

Choice Chosen(const DetailView& view, std::vector<double> position, double a, double b, double c) {
    const double half[3] = {a, b, c};
    Choice choice = {-1, -1};
    ::ChooseDetail(view, position, half, choice.slices, choice.stacks);
    return choice;
}

bool WithinFloorAndCeiling(const Choice& choice) {
    const DetailLevel& floor = DetailLevelAt(0);
    const DetailLevel& ceiling = DetailLevelAt(DetailLevelCount() - 1);
    return choice.slices >= floor.slices && choice.slices <= ceiling.slices && choice.stacks >= floor.stacks &&
           choice.stacks <= ceiling.stacks;
}

// Levels grow from floor to ceiling, each within half a pixel up to its limit and not beyond it,
// and the ceiling covers a close-up larger than any screen.
TEST_F(ChooseDetail, LevelsKeepTheOutlineWithinHalfAPixel) {
    ASSERT_GE(DetailLevelCount(), 4);
    for (int k = 0; k < DetailLevelCount(); ++k) {
        const DetailLevel& level = DetailLevelAt(k);
        EXPECT_EQ(level.stacks, std::max(level.slices / 2, 8));
        EXPECT_NEAR(level.largestPixels * (1 - std::cos(pi / level.slices)), 0.5, 1e-9);
        if (k > 0) {
            EXPECT_GT(level.largestPixels, DetailLevelAt(k - 1).largestPixels);
        }
        EXPECT_EQ(LevelForPixels(level.largestPixels), k);
        if (k + 1 < DetailLevelCount()) {
            EXPECT_EQ(LevelForPixels(level.largestPixels * 1.001), k + 1);
        }
    }
    EXPECT_LT(DetailLevelAt(0).slices, 30);
    EXPECT_GE(DetailLevelAt(0).slices, 8);
    EXPECT_GT(DetailLevelAt(DetailLevelCount() - 1).largestPixels, 1500);
    EXPECT_EQ(LevelForPixels(0), 0);
    EXPECT_EQ(LevelForPixels(-5), 0);
    EXPECT_EQ(LevelForPixels(std::numeric_limits<double>::infinity()), DetailLevelCount() - 1);
    EXPECT_EQ(LevelForPixels(std::nan("")), DetailLevelCount() - 1);
}

// The size on screen follows the projection: a sphere of radius 1 at 200 units in a 640-pixel-high view
// is 640 / 2 / tan(22.5 degrees) / 200 = 3.86 pixels; twice as near it is about twice as large, and it
// grows towards the edge of the view, never shrinks.
TEST_F(ChooseDetail, ProjectedRadiusFollowsDistanceViewportAndOffAxisStretch) {
    DetailView view = ProgramView(1024, 640);
    const double unit[3] = {1, 1, 1}, centre[3] = {0, 0, 0}, nearer[3] = {0, 0, 100}, edge[3] = {80, 0, 0};
    double expected = 320 / std::tan(22.5 * pi / 180) / 200;
    EXPECT_NEAR(ProjectedRadiusPixels(view, centre, unit), expected, expected * 1e-4);
    EXPECT_NEAR(ProjectedRadiusPixels(view, nearer, unit), 2 * expected, 2 * expected * 1e-3);
    EXPECT_GT(ProjectedRadiusPixels(view, edge, unit), ProjectedRadiusPixels(view, centre, unit));
    const double elongated[3] = {0.5, -3, 0.2};  // the largest half radius counts, whatever its sign
    EXPECT_NEAR(ProjectedRadiusPixels(view, centre, elongated), 3 * expected, 3 * expected * 1e-3);
    DetailView tall = ProgramView(1024, 1280);
    EXPECT_NEAR(ProjectedRadiusPixels(tall, centre, unit), 2 * expected, 2 * expected * 1e-4);
}

// The default scene's small ellipsoids get fewer subdivisions than 30, a close-up more than 30.
TEST_F(ChooseDetail, CoarserWhenSmallFinerWhenLarge) {
    DetailView view = ProgramView(1024, 640);
    Choice small = Chosen(view, {0, 0, 0}, 1.5, 0.5, 0.5);
    Choice closeUp = Chosen(view, {0, 0, 150}, 20, 8, 8);  // about 600 pixels across
    EXPECT_LT(small.slices, 30);
    EXPECT_GT(closeUp.slices, 30);
    EXPECT_TRUE(WithinFloorAndCeiling(small));
    EXPECT_TRUE(WithinFloorAndCeiling(closeUp));
}

// Zero, negative, huge and non-finite half radii, ellipsoids behind the eye, across the near and eye
// planes and far away, a 1 x 1 viewport and a degenerate projection: always a level between floor and ceiling.
TEST_F(ChooseDetail, EdgeCasesStayBetweenFloorAndCeiling) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const double radii[][3] = {{0, 0, 0}, {-2, -2, -2}, {1e300, 1, 1}, {1e-300, 0, 0}, {inf, 1, 1}, {nan, 1, 1},
                               {2, 2, 2}, {-1e308, 1e308, 0}};
    const std::vector<double> positions[] = {{0, 0, 0},     {0, 0, 199.5}, {0, 0, 200},  {0, 0, 300},
                                             {0, 0, 1e308}, {0, 0, -1e6},  {nan, 0, 0},  {inf, -inf, 0},
                                             {1e5, 1e5, 0}};
    DetailView views[] = {ProgramView(1024, 640), ProgramView(1, 1), ProgramView(1024, 640)};
    for (double& value : views[2].projection) value = 0;  // every point at w = 0
    for (const DetailView& view : views)
        for (const std::vector<double>& position : positions)
            for (const double* half : radii) {
                Choice choice = Chosen(view, position, half[0], half[1], half[2]);
                EXPECT_TRUE(WithinFloorAndCeiling(choice))
                    << choice.slices << " x " << choice.stacks << " at z " << position[2] << ", half " << half[0];
            }
    // Zero radius: the floor; an ellipsoid around or behind the eye: the ceiling.
    EXPECT_EQ(Chosen(views[0], {0, 0, 0}, 0, 0, 0).slices, DetailLevelAt(0).slices);
    EXPECT_EQ(Chosen(views[0], {0, 0, 199.5}, 2, 2, 2).slices, DetailLevelAt(DetailLevelCount() - 1).slices);
}

// The share of the unit sphere inside its tessellation: 1/sqrt(3) for 4 x 2 (an octahedron); for every level,
// no point of the sphere scaled by it lies outside any face's plane, and finer levels come nearer the sphere.
TEST(TessellationInnerShare, OctahedronAndEveryLevelHoldTheirInnerSphere) {
    EXPECT_NEAR(TessellationInnerShare(4, 2), 1 / std::sqrt(3.0), 1e-3);
    double before = 0;
    for (int level = 0; level < DetailLevelCount(); ++level) {
        const int slices = DetailLevelAt(level).slices, stacks = DetailLevelAt(level).stacks;
        const double share = TessellationInnerShare(slices, stacks);
        EXPECT_GT(share, before);
        EXPECT_LT(share, 1.0);
        before = share;
        // Each face as GLU makes it: its plane through three of its corners (the pole faces are triangles).
        for (int k = 0; k < stacks; ++k)
            for (int j = 0; j < slices; ++j) {
                const auto corner = [&](int stack, int slice, double* p) {
                    double phi = pi * stack / stacks, theta = 2 * pi * slice / slices;
                    p[0] = std::sin(phi) * std::cos(theta), p[1] = std::sin(phi) * std::sin(theta), p[2] = std::cos(phi);
                };
                double a[3], b[3], c[3];
                corner(k, j, a);
                if (k == 0) corner(k + 1, j + 1, b);  // a at the pole
                else corner(k, j + 1, b);
                corner(k + 1, j, c);
                double u[3], v[3], n[3];
                for (int m = 0; m < 3; ++m) u[m] = b[m] - a[m], v[m] = c[m] - a[m];
                n[0] = u[1] * v[2] - u[2] * v[1], n[1] = u[2] * v[0] - u[0] * v[2], n[2] = u[0] * v[1] - u[1] * v[0];
                const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                const double distance = std::fabs(n[0] * a[0] + n[1] * a[1] + n[2] * a[2]) / length;
                EXPECT_LE(share, distance) << slices << " x " << stacks << ", face " << k << ", " << j;
            }
    }
}

// ---- The configuration keyword ------------------------------------------------------------------------

const std::string MINIMAL = R"(dumpfile a.dump
species 1
half_radii 1 1 1 1
color 1 1 1 1
bond_vector 1 1 0 0 0
background 0 0 0
)";

TEST_F(ReadConfig, AdaptiveDetailKeywordSwitchesItOnAndAReadWithoutItOff) {
    std::string path = WriteTempFile("adaptive.cfg", MINIMAL + "adaptive_detail\n");
    ConsoleRun run = RunCaptured([&] { ::ReadConfig(path); });
    EXPECT_FALSE(run.exited);
    EXPECT_TRUE(adaptiveDetail);
    EXPECT_NE(run.output.find("Adaptive detail will be used.\n"), std::string::npos) << run.output;

    std::string withValue = WriteTempFile("value.cfg", "adaptive_detail yes please\n" + MINIMAL);  // the value is ignored
    ResetScene();
    run = RunCaptured([&] { ::ReadConfig(withValue); });
    EXPECT_FALSE(run.exited);
    EXPECT_TRUE(adaptiveDetail);

    std::string plain = WriteTempFile("plain.cfg", MINIMAL);
    run = RunCaptured([&] { ::ReadConfig(plain); });
    EXPECT_FALSE(run.exited);
    EXPECT_FALSE(adaptiveDetail);
    EXPECT_EQ(run.output.find("Adaptive detail"), std::string::npos) << run.output;
}

}  // namespace
