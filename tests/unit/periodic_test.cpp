// The periodic box: positions wrapped into a tilted box, bonds cut at its faces, the images' shifts, the fit and
// the picking over every image, and the switches of the configuration with their lines.
#include "core/periodic_images.h"

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/scene.h"
#include "core/view_fit.h"
#include "core/wrap.h"
#include "io/load.h"
#include "tests/support/test_support.h"

namespace {

using Periodic = SceneTest;

const SimulationBox TILTED = {true, {1, -2, 0.5}, {{10, 0, 0}, {2, 20, 0}, {-3, 4, 40}}};

// Fractions of the edges by back-substitution: the edges of a dump or GSD box form a triangular matrix.
void TriangularFractions(const SimulationBox& box, const double* position, double* f) {
    double d[3];
    for (int k = 0; k < 3; ++k) d[k] = position[k] - box.origin[k];
    f[2] = d[2] / box.edges[2][2];
    f[1] = (d[1] - f[2] * box.edges[2][1]) / box.edges[1][1];
    f[0] = (d[0] - f[1] * box.edges[1][0] - f[2] * box.edges[2][0]) / box.edges[0][0];
}

TEST_F(Periodic, WrapPutsEveryPositionOfATiltedFrameIntoItsBoxByWholeEdges) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> fraction(-2.5, 3.5);
    std::vector<double> positions;
    for (int i = 0; i < 200; ++i) {
        double f[3] = {fraction(random), fraction(random), fraction(random)};
        if (i % 4 == 0)
            for (double& v : f) v -= std::floor(v);  // already inside: must keep its numbers exactly
        double row[GEOM_STRIDE] = {i + 1.0, 1, 0, 0, 0, 1, 0, 0, 0};
        for (int k = 0; k < 3; ++k)
            row[GEOM_X + k] = TILTED.origin[k] + f[0] * TILTED.edges[0][k] + f[1] * TILTED.edges[1][k] + f[2] * TILTED.edges[2][k];
        positions.insert(positions.end(), row, row + GEOM_STRIDE);
    }
    const std::vector<double> before = positions;
    long long moved = WrapPositions(positions, TILTED);
    long long outside = 0;
    for (std::size_t i = 0; i < before.size() / GEOM_STRIDE; ++i) {
        const double* was = &before[i * GEOM_STRIDE + GEOM_X];
        const double* now = &positions[i * GEOM_STRIDE + GEOM_X];
        double f0[3], f1[3];
        TriangularFractions(TILTED, was, f0);
        TriangularFractions(TILTED, now, f1);
        bool inside = true;
        for (int k = 0; k < 3; ++k) {
            inside = inside && f0[k] >= 0 && f0[k] < 1;
            EXPECT_GE(f1[k], -1e-12) << i;
            EXPECT_LT(f1[k], 1 + 1e-12) << i;
            EXPECT_NEAR(f0[k] - f1[k], std::round(f0[k] - f1[k]), 1e-9) << i;  // moved by whole edges only
        }
        if (inside) {
            EXPECT_EQ(std::vector<double>(was, was + 3), std::vector<double>(now, now + 3)) << i;
        }
        outside += inside ? 0 : 1;
    }
    EXPECT_EQ(moved, outside);

    // A 2-D box whose third edge has length 0 (GSD's Lz = 0) wraps along a and b and leaves z alone.
    SimulationBox flat = {true, {-5, -5, 0}, {{10, 0, 0}, {3, 10, 0}, {0, 0, 0}}};
    std::vector<double> planar = {1, 1, 14, -7, 0.25, 1, 0, 0, 0};
    EXPECT_EQ(WrapPositions(planar, flat), 1);
    EXPECT_NEAR(planar[GEOM_X], 14 - 10 + 3, 1e-12);
    EXPECT_NEAR(planar[GEOM_X + 1], -7 + 10, 1e-12);
    EXPECT_EQ(planar[GEOM_X + 2], 0.25);
}

// Two half-bonds: each starts at its end, runs towards the other end's nearest image and stops on a face.
TEST_F(Periodic, ABondAcrossTheBoxBecomesTwoHalvesEndingOnItsFaces) {
    frameBox = TILTED;
    const std::vector<double> centre = {0.5, 1, 3};
    auto centred = [&](double fa, double fb, double fc, double* p) {
        for (int k = 0; k < 3; ++k)
            p[k] = TILTED.origin[k] + fa * TILTED.edges[0][k] + fb * TILTED.edges[1][k] + fc * TILTED.edges[2][k] - centre[k];
    };
    double a[3], b[3], pieces[2][2][3];
    centred(0.05, 0.3, 0.5, a);
    centred(0.93, 0.35, 0.55, b);
    EXPECT_EQ(BondPieces(a, b, centre, pieces), 1) << "drawn across while neither wrap nor images is on";
    wrapIntoBox = true;
    ASSERT_EQ(BondPieces(a, b, centre, pieces), 2);
    double nearest[3], through[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) nearest[k] = b[k] - a[k] - TILTED.edges[0][k];
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(std::vector<double>(pieces[side][0], pieces[side][0] + 3), std::vector<double>(side == 0 ? a : b, (side == 0 ? a : b) + 3));
        double end[3], f[3];
        for (int k = 0; k < 3; ++k) {
            end[k] = pieces[side][1][k] + centre[k];
            through[k] += (side == 0 ? 1 : -1) * (pieces[side][1][k] - pieces[side][0][k]);
        }
        TriangularFractions(TILTED, end, f);
        EXPECT_NEAR(f[0], side == 0 ? 0 : 1, 1e-9) << "half-bond " << side << " does not end on the face";
    }
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(through[k], nearest[k], 1e-9);  // together: the nearest image's bond

    centred(0.4, 0.3, 0.5, b);  // within half an edge: the one bond as it is
    ASSERT_EQ(BondPieces(a, b, centre, pieces), 1);
    EXPECT_EQ(std::vector<double>(pieces[0][1], pieces[0][1] + 3), std::vector<double>(b, b + 3));
}

TEST_F(Periodic, ImagesRepeatTheFrameByWholeEdgesAndTheFitAndPickingSeeThemAll) {
    frameBox = TILTED;
    imageCounts[0] = imageCounts[1] = 3;
    ASSERT_EQ(ImageTotal(), 9);
    std::set<std::vector<double>> shifts;
    for (int image = 0; image < ImageTotal(); ++image) {
        double shift[3];
        ImageShift(image, shift);
        if (image == 0) {
            EXPECT_EQ(std::vector<double>(shift, shift + 3), std::vector<double>(3, 0.0));
        }
        double f[3];
        for (int k = 0; k < 3; ++k) shift[k] += TILTED.origin[k];
        TriangularFractions(TILTED, shift, f);
        EXPECT_TRUE(std::fabs(f[0]) <= 1 && std::fabs(f[1]) <= 1 && f[2] == 0) << image;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(f[k], std::round(f[k]), 1e-12);
        shifts.insert(std::vector<double>(shift, shift + 3));
    }
    EXPECT_EQ(shifts.size(), 9u);

    // One sphere at the box's centre: the fit reaches the farthest image, along a + b.
    species = 1;
    shape = {1, 1, 1};
    color = {1, 0, 0};
    atoms = 1;
    geom = {7, 1, 5, 8, 20.5, 1, 0, 0, 0};
    const double diagonal = std::hypot(TILTED.edges[0][0] + TILTED.edges[1][0], TILTED.edges[1][1]);
    EXPECT_NEAR(SceneRadius(), diagonal + 1, 1e-9);
    // A ray down the z axis through the image at +a picks the atom; without images it meets nothing.
    const double origin[3] = {10, 0, 100}, down[3] = {0, 0, -1};
    EXPECT_EQ(PickAtomInImages(origin, down, {5, 8, 20.5}), 0);
    imageCounts[0] = imageCounts[1] = 1;
    EXPECT_EQ(PickAtomInImages(origin, down, {5, 8, 20.5}), -1);
    EXPECT_NEAR(SceneRadius(), 1, 1e-12);
    frameBox.exists = false;
    imageCounts[0] = 5;
    EXPECT_EQ(ImageTotal(), 1) << "images without a box";
}

TEST_F(Periodic, TheKeyCyclesOneAndThreeCubedOrThreeByThreeForA2DRun) {
    frameBox = TILTED;
    atoms = 2;
    geom = {1, 1, 0, 0, 3, 1, 0, 0, 0, 2, 1, 4, 5, 3, 1, 0, 0, 0};  // both at z = 3: a flat frame
    EXPECT_EQ(CycleImages(), "Periodic images on: 3x3x1.");
    EXPECT_EQ(CycleImages(), "Periodic images off.");
    geom[GEOM_STRIDE + GEOM_X + 2] = 4;
    EXPECT_EQ(CycleImages(), "Periodic images on: 3x3x3.");
    CycleImages();
    frameBox.exists = false;
    EXPECT_EQ(CycleImages(), "This frame gives no simulation box: no periodic images are drawn.");
    EXPECT_EQ(ImageCountsText(imageCounts), "1x1x1");
}

std::string Configuration(const std::string& dump, const std::string& extra) {
    return "dumpfile " + dump + "\nspecies 1\nhalf_radii 1 1 1 1\nbond_vector 1 1 0 0 0\ncolor 1 1 0 0\nbackground 0 0 0\n" + extra;
}

TEST_F(Periodic, ConfigurationSwitchesAndTheLinesTheyPrint) {
    const std::string header = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n2\n";
    const std::string atomLines = "ITEM: ATOMS id type x y z ix iy iz\n1 1 12 1 1 0 0 0\n2 1 -3 2 2 1 0 0\n";
    const std::string boxed = WriteTempFile("boxed.dump", header + "ITEM: BOX BOUNDS pp pp pp\n0 10\n0 10\n0 10\n" + atomLines);
    const std::string bare = WriteTempFile("bare.dump", header + atomLines);

    std::string both = WriteTempFile("both.cfg", Configuration(boxed, "images 3 3 1\nunwrap\nwrap\n"));
    ConsoleRun run = RunCaptured([&] { LoadScene(both); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_NE(run.output.find("\nwrap and unwrap exclude each other: positions are wrapped into the box, not unwrapped.\n"),
              std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Positions are unwrapped"), std::string::npos);
    EXPECT_EQ(ImageCountsText(imageCounts), "3x3x1");
    EXPECT_EQ(std::vector<double>(geom.begin() + GEOM_X, geom.begin() + GEOM_X + 3), (std::vector<double>{2, 1, 1}));
    EXPECT_EQ(std::vector<double>(geom.begin() + GEOM_STRIDE + GEOM_X, geom.begin() + GEOM_STRIDE + GEOM_X + 3),
              (std::vector<double>{7, 2, 2}));

    std::string noBox = WriteTempFile("bare.cfg", Configuration(bare, "images 3 3 3\nwrap\n"));
    run = RunCaptured([&] { LoadScene(noBox); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_NE(run.output.find("\nThis frame gives no simulation box: no periodic images are drawn.\n"
                              "This frame gives no simulation box: nothing is wrapped.\n"),
              std::string::npos) << run.output;
    EXPECT_EQ(ImageTotal(), 1);
    EXPECT_EQ(geom[GEOM_X], 12);

    std::string plain = WriteTempFile("plain.cfg", Configuration(boxed, ""));
    ASSERT_FALSE(RunCaptured([&] { LoadScene(plain); }).exited);
    EXPECT_FALSE(wrapIntoBox);
    EXPECT_EQ(ImageCountsText(imageCounts), "1x1x1");
    for (const std::string line : {"images 2 3 3\n", "images 3 3\n", "images 3 3 3 3\n", "images -1 1 1\n"}) {
        std::string broken = WriteTempFile("broken.cfg", Configuration(boxed, line));
        ConsoleRun refused = RunCaptured([&] { LoadScene(broken); }, "\n");
        EXPECT_TRUE(refused.exited) << line;
        EXPECT_NE(refused.output.find("images takes three odd counts from 1 to 99"), std::string::npos) << refused.output;
    }
}

}  // namespace
