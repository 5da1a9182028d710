// The periodic box: positions wrapped into a tilted box, bonds cut at its faces, the images' shifts, the fit and
// the picking over every image, the key's cycle, and the configuration's switches with their lines.
#include "core/periodic_images.h"

#include <algorithm>
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
using Point = std::vector<double>;

const SimulationBox TILTED = {true, {1, -2, 0.5}, {{10, 0, 0}, {2, 20, 0}, {-3, 4, 40}}};

// Fractions of the edges by back-substitution: the edges of a dump or GSD box form a triangular matrix.
Point Fractions(const double* p) {
    double d[3], f[3];
    for (int k = 0; k < 3; ++k) d[k] = p[k] - TILTED.origin[k];
    f[2] = d[2] / TILTED.edges[2][2];
    f[1] = (d[1] - f[2] * TILTED.edges[2][1]) / TILTED.edges[1][1];
    f[0] = (d[0] - f[1] * TILTED.edges[1][0] - f[2] * TILTED.edges[2][0]) / TILTED.edges[0][0];
    return Point(f, f + 3);
}

Point InBox(double fa, double fb, double fc) {
    Point p(3);
    for (int k = 0; k < 3; ++k)
        p[k] = TILTED.origin[k] + fa * TILTED.edges[0][k] + fb * TILTED.edges[1][k] + fc * TILTED.edges[2][k];
    return p;
}

TEST_F(Periodic, WrapPutsEveryPositionOfATiltedFrameIntoItsBoxByWholeEdges) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> fraction(-2.5, 3.5);
    std::vector<double> rows;
    for (int i = 0; i < 200; ++i) {
        Point f = {fraction(random), fraction(random), fraction(random)};
        if (i % 4 == 0) for (double& v : f) v -= std::floor(v);  // inside already: keeps its numbers exactly
        Point p = InBox(f[0], f[1], f[2]);
        rows.insert(rows.end(), {i + 1.0, 1, p[0], p[1], p[2], 1, 0, 0, 0});
    }
    const std::vector<double> before = rows;
    long long moved = WrapPositions(rows, TILTED), outside = 0;
    for (std::size_t i = 0; i < rows.size(); i += GEOM_STRIDE) {
        Point was = Fractions(&before[i + GEOM_X]), now = Fractions(&rows[i + GEOM_X]);
        bool inside = true;
        for (int k = 0; k < 3; ++k) {
            inside = inside && was[k] >= 0 && was[k] < 1;
            EXPECT_TRUE(now[k] > -1e-12 && now[k] < 1 + 1e-12) << i;
            EXPECT_NEAR(was[k] - now[k], std::round(was[k] - now[k]), 1e-9) << i;  // moved by whole edges only
        }
        outside += !inside;
        EXPECT_TRUE(!inside || std::equal(&rows[i], &rows[i] + GEOM_STRIDE, &before[i])) << i;
    }
    EXPECT_EQ(moved, outside);
    // A 2-D box whose third edge has length 0 (GSD's Lz = 0) wraps along a and b and leaves z alone.
    std::vector<double> planar = {1, 1, 14, -7, 0.25, 1, 0, 0, 0};
    WrapPositions(planar, {true, {-5, -5, 0}, {{10, 0, 0}, {3, 10, 0}, {0, 0, 0}}});
    EXPECT_EQ(Point(planar.begin() + GEOM_X, planar.begin() + GEOM_X + 3), (Point{7, 3, 0.25}));
}

// Two half-bonds: each starts at its end, runs towards the other end's nearest image and stops on a face.
TEST_F(Periodic, ABondAcrossTheBoxBecomesTwoHalvesEndingOnItsFaces) {
    frameBox = TILTED;
    const Point centre = {0.5, 1, 3}, a0 = InBox(0.05, 0.3, 0.5), b0 = InBox(0.93, 0.35, 0.55);
    double a[3], b[3], pieces[2][2][3];
    for (int k = 0; k < 3; ++k) a[k] = a0[k] - centre[k], b[k] = b0[k] - centre[k];
    EXPECT_EQ(BondPieces(a, b, centre, pieces), 1) << "cut while neither wrap nor images is on";
    wrapIntoBox = true;
    ASSERT_EQ(BondPieces(a, b, centre, pieces), 2);
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(Point(pieces[side][0], pieces[side][0] + 3), Point(side ? b : a, (side ? b : a) + 3));
        Point end(3);
        for (int k = 0; k < 3; ++k) end[k] = pieces[side][1][k] + centre[k];
        EXPECT_NEAR(Fractions(end.data())[0], side, 1e-9) << "half-bond " << side << " does not end on the face";
    }
    for (int k = 0; k < 3; ++k)  // together they make the bond to the nearest image of b
        EXPECT_NEAR(pieces[0][1][k] - a[k] + b[k] - pieces[1][1][k], b[k] - a[k] - TILTED.edges[0][k], 1e-9);
    b[0] = a[0] + 4;  // within half an edge: the bond as it is
    EXPECT_EQ(BondPieces(a, b, centre, pieces), 1);
}

TEST_F(Periodic, ImagesShiftByWholeEdgesAndTheKeyTheFitAndPickingSeeThemAll) {
    frameBox = TILTED;
    species = 1;
    shape = {1, 1, 1};
    atoms = 2;
    geom = {7, 1, 5, 8, 20.5, 1, 0, 0, 0, 8, 1, 5, 8, 20.5, 1, 0, 0, 0};  // both in one plane: a 2-D frame
    EXPECT_EQ(CycleImages(), "Periodic images on: 3x3x1.");
    std::set<Point> shifts;
    for (int image = 0; image < ImageTotal(); ++image) {
        double shift[3];
        ImageShift(image, shift);
        Point f = Fractions(Point{TILTED.origin[0] + shift[0], TILTED.origin[1] + shift[1], TILTED.origin[2] + shift[2]}.data());
        EXPECT_TRUE(image > 0 || f == Point(3, 0.0));
        for (double v : f) EXPECT_NEAR(v, std::round(v), 1e-12);
        EXPECT_TRUE(std::fabs(f[0]) <= 1 && std::fabs(f[1]) <= 1 && f[2] == 0) << image;
        shifts.insert(f);
    }
    EXPECT_EQ(shifts.size(), 9u);
    // The fit reaches the farthest image, along a + b; a ray down z through the image at +a picks the atom.
    EXPECT_NEAR(SceneRadius(), std::hypot(12, 20) + 1, 1e-9);
    const double origin[3] = {10, 0, 100}, down[3] = {0, 0, -1};
    EXPECT_EQ(PickAtomInImages(origin, down, {5, 8, 20.5}), 0);
    EXPECT_EQ(CycleImages(), "Periodic images off.");
    EXPECT_EQ(PickAtomInImages(origin, down, {5, 8, 20.5}), -1);
    geom[GEOM_STRIDE + GEOM_X + 2] = 4;
    EXPECT_EQ(CycleImages(), "Periodic images on: 3x3x3.");
    frameBox.exists = false;
    EXPECT_EQ(ImageTotal(), 1) << "images without a box";
}

TEST_F(Periodic, ConfigurationSwitchesAndTheLinesTheyPrint) {
    const std::string frame = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n2\n";
    const std::string rows = "ITEM: ATOMS id type x y z ix iy iz\n1 1 12 1 1 0 0 0\n2 1 -3 2 2 1 0 0\n";
    const std::string boxed = WriteTempFile("boxed.dump", frame + "ITEM: BOX BOUNDS pp pp pp\n0 10\n0 10\n0 10\n" + rows);
    auto load = [&](const std::string& dump, const std::string& extra) {
        std::string name = WriteTempFile("periodic.cfg", "dumpfile " + dump + "\nspecies 1\nhalf_radii 1 1 1 1\n"
                                         "bond_vector 1 1 0 0 0\ncolor 1 1 0 0\nbackground 0 0 0\n" + extra);
        return RunCaptured([&] { LoadScene(name); }, "\n");
    };
    ConsoleRun run = load(boxed, "images 3 3 1\nunwrap\nwrap\n");
    EXPECT_NE(run.output.find("\nwrap and unwrap exclude each other: positions are wrapped into the box, not unwrapped.\n"),
              std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Positions are unwrapped"), std::string::npos);
    EXPECT_EQ(ImageCountsText(imageCounts), "3x3x1");
    EXPECT_EQ((Point{geom[GEOM_X], geom[GEOM_STRIDE + GEOM_X]}), (Point{2, 7}));

    run = load(WriteTempFile("bare.dump", frame + rows), "images 3 3 3\nwrap\n");
    EXPECT_NE(run.output.find("\nThis frame gives no simulation box: no periodic images are drawn.\n"
                              "This frame gives no simulation box: nothing is wrapped.\n"), std::string::npos) << run.output;
    EXPECT_EQ(ImageTotal(), 1);
    EXPECT_EQ(geom[GEOM_X], 12);

    EXPECT_FALSE(load(boxed, "").exited);
    EXPECT_FALSE(wrapIntoBox || ImagesShown());
    for (const std::string line : {"images 2 3 3\n", "images 3 3\n", "images 3 3 3 3\n", "images -1 1 1\n"})
        EXPECT_NE(load(boxed, line).output.find("images takes three odd counts from 1 to 99"), std::string::npos) << line;
}

}  // namespace
