// Looking inside a frame: the exact ray-ellipsoid pick, the slab and hidden species, the pick report, and the
// configuration and command-line switches that turn them on.
#include "core/pick.h"

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/scene.h"
#include "core/visibility.h"
#include "headless/render_options.h"
#include "io/config/config_reader.h"
#include "tests/support/test_support.h"

namespace {

// The ray's entry into the ellipsoid solved in scene coordinates, with the quadric's 3 x 3 matrix
// A = R diag(1 / h^2) R^T and R from the quaternion's matrix formula: (p - c)^T A (p - c) = 1.
double WorldQuadricHit(const double* o, const double* d, const double* c, const double* q, const double* h) {
    double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    double w = q[0] / n, x = q[1] / n, y = q[2] / n, z = q[3] / n;
    double R[3][3] = {{1 - 2 * y * y - 2 * z * z, 2 * x * y - 2 * w * z, 2 * x * z + 2 * w * y},
                      {2 * x * y + 2 * w * z, 1 - 2 * x * x - 2 * z * z, 2 * y * z - 2 * w * x},
                      {2 * x * z - 2 * w * y, 2 * y * z + 2 * w * x, 1 - 2 * x * x - 2 * y * y}};
    double A[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            A[i][j] = 0;
            for (int k = 0; k < 3; ++k) A[i][j] += R[i][k] * R[j][k] / (h[k] * h[k]);
        }
    double r[3] = {o[0] - c[0], o[1] - c[1], o[2] - c[2]}, dA[3] = {0, 0, 0}, rA[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) dA[i] += A[i][j] * d[j], rA[i] += A[i][j] * r[j];
    double a = 0, b = 0, cc = -1;
    for (int i = 0; i < 3; ++i) a += d[i] * dA[i], b += 2 * r[i] * dA[i], cc += r[i] * rA[i];
    double disc = b * b - 4 * a * cc;
    if (disc < 0) return -1;
    double t = (-b - std::sqrt(disc)) / (2 * a);
    return t >= 0 ? t : -1;
}

void AddAtom(double label, int speciesNumber, double x, double y, double z, const double* q) {
    double row[GEOM_STRIDE] = {label, static_cast<double>(speciesNumber), x, y, z, q[0], q[1], q[2], q[3]};
    geom.insert(geom.end(), row, row + GEOM_STRIDE);
    ++atoms;
}

void SetSpecies(const std::vector<std::vector<double>>& halfRadii) {
    species = static_cast<int>(halfRadii.size());
    shape.clear();
    color.assign(halfRadii.size() * 3, 0.5);
    for (const auto& h : halfRadii) shape.insert(shape.end(), h.begin(), h.end());
}

const double IDENTITY[4] = {1, 0, 0, 0};

using PickTest = SceneTest;

TEST_F(PickTest, BodyFrameHitAgreesWithTheWorldQuadric) {
    std::mt19937 random(17);
    std::uniform_real_distribution<double> unit(-1, 1), size(0.2, 3);
    int hits = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        double q[4] = {unit(random), unit(random), unit(random), unit(random)};
        double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (double& v : q) v /= n;
        double h[3] = {size(random), size(random), size(random)};
        double c[3] = {unit(random), unit(random), unit(random)};
        double o[3] = {10 * unit(random), 10 * unit(random), 10 + 5 * unit(random)};
        double d[3] = {c[0] + 2 * unit(random) - o[0], c[1] + 2 * unit(random) - o[1], c[2] - o[2]};
        double expected = WorldQuadricHit(o, d, c, q, h);
        double got = RayEllipsoidHit(o, d, c, q, h);
        if (expected < 0) {
            EXPECT_LT(got, 0) << trial;
        } else {
            ++hits;
            EXPECT_NEAR(got, expected, 1e-9 * (1 + expected)) << trial;
        }
    }
    EXPECT_GT(hits, 500);  // the rays were aimed to hit often enough for the comparison to mean something
}

TEST_F(PickTest, GrazingBehindInsideAndFlatEllipsoids) {
    const double c[3] = {0, 0, 0}, h[3] = {2, 1, 1};
    const double down[3] = {0, 0, -1};
    // Rays straight down at x just inside, on and outside the long half radius.
    const double inside[3] = {1.999, 0, 10}, grazing[3] = {2, 0, 10}, outside[3] = {2.001, 0, 10};
    EXPECT_NEAR(RayEllipsoidHit(inside, down, c, IDENTITY, h), 10 - std::sqrt(1 - 1.999 * 1.999 / 4), 1e-12);
    EXPECT_NEAR(RayEllipsoidHit(grazing, down, c, IDENTITY, h), 10, 1e-12);
    EXPECT_LT(RayEllipsoidHit(outside, down, c, IDENTITY, h), 0);
    // Turned 90 degrees about z the long axis lies along y.
    const double turned[4] = {std::sqrt(0.5), 0, 0, std::sqrt(0.5)};
    const double alongY[3] = {0, 1.9, 10};
    EXPECT_LT(RayEllipsoidHit(inside, down, c, turned, h), 0);
    EXPECT_GT(RayEllipsoidHit(alongY, down, c, turned, h), 0);
    // Behind the eye, and an eye inside the ellipsoid (whose inside the drawing never shows).
    const double up[3] = {0, 0, 1}, below[3] = {0, 0, -5}, centre[3] = {0, 0, 0};
    EXPECT_LT(RayEllipsoidHit(below, down, c, IDENTITY, h), 0);
    EXPECT_NEAR(RayEllipsoidHit(below, up, c, IDENTITY, h), 4, 1e-12);
    EXPECT_LT(RayEllipsoidHit(centre, up, c, IDENTITY, h), 0);
    // One zero half radius: a flat ellipse, hit face on, missed edge on; two or three zeros: nothing.
    const double flat[3] = {2, 1, 0}, needle[3] = {2, 0, 0}, point[3] = {0, 0, 0};
    const double sideways[3] = {-1, 0, 0}, fromSide[3] = {10, 0, 0};
    EXPECT_NEAR(RayEllipsoidHit(inside, down, c, IDENTITY, flat), 10, 1e-12);
    EXPECT_LT(RayEllipsoidHit(outside, down, c, IDENTITY, flat), 0);
    EXPECT_LT(RayEllipsoidHit(fromSide, sideways, c, IDENTITY, flat), 0);
    const double onAxis[3] = {0, 0, 10};
    EXPECT_LT(RayEllipsoidHit(onAxis, down, c, IDENTITY, needle), 0);
    EXPECT_LT(RayEllipsoidHit(onAxis, down, c, IDENTITY, point), 0);
}

TEST_F(PickTest, NearestShownAtomIsPicked) {
    SetSpecies({{1, 1, 1}, {3, 0.5, 0.5}});
    AddAtom(101, 1, 0, 0, 0, IDENTITY);   // centred at the origin after the mean (0, 0, 0) is taken
    AddAtom(102, 2, 0, 0, 4, IDENTITY);   // nearer the eye on +z
    AddAtom(103, 1, 2.6, 0, 4, IDENTITY);  // beside atom 2, within its long half radius
    AddAtom(104, 1, -2.6, 0, -8, IDENTITY);
    std::vector<double> centre = {0, 0, 0};
    const double eye[3] = {0, 0, 50}, down[3] = {0, 0, -1};
    EXPECT_EQ(PickAtom(eye, down, centre), 1);
    const double besideEye[3] = {2.6, 0, 50};
    EXPECT_EQ(PickAtom(besideEye, down, centre), 2);  // atom 3's sphere starts nearer than atom 2's thin end
    SetSpeciesHidden(2, true);
    EXPECT_EQ(PickAtom(eye, down, centre), 0);
    hiddenSpecies.clear();
    slab = {true, {0, 0, 1}, 0.0, 2.0};  // only the atom at z = 0 lies inside
    EXPECT_EQ(PickAtom(eye, down, centre), 0);
    EXPECT_EQ(PickAtom(besideEye, down, centre), -1);
    const double away[3] = {20, 20, 50};
    slab.on = false;
    EXPECT_EQ(PickAtom(away, down, centre), -1);
}

using VisibilityTest = SceneTest;

TEST_F(VisibilityTest, SlabAndHiddenSpeciesDecideAtomsAndBonds) {
    SetSpecies({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
    const double z[] = {-3, -1, 0, 1, 3};
    for (int i = 0; i < 5; ++i) AddAtom(i + 1, 1 + i % 3, 0, 0, z[i], IDENTITY);
    topology = {1, 2, 1, 1, 2, 3, 1, 1, 3, 4, 1, 1, 4, 5, 1, 1};
    std::vector<double> centre = {0, 0, 0};
    // A slab along (0, 0, 2) (made unit length) moved by 0.5, 3 wide: z from -1 to 2, edges included.
    slab = {true, {0, 0, 2}, 0.5, 3.0};
    ASSERT_TRUE(NormaliseSlabNormal(slab));
    std::vector<bool> shown, bonds;
    for (int i = 0; i < 5; ++i) shown.push_back(AtomShown(i, centre));
    for (int j = 0; j < 4; ++j) bonds.push_back(BondShown(j, centre));
    EXPECT_EQ(shown, (std::vector<bool>{false, true, true, true, false}));
    EXPECT_EQ(bonds, (std::vector<bool>{false, true, true, false}));
    // The slab follows the frame centre: with the centre at z = 3 only the atom at z = 3 is inside.
    std::vector<double> moved = {0, 0, 2.5};
    EXPECT_TRUE(AtomShown(4, moved));
    EXPECT_FALSE(AtomShown(2, moved));
    // Species 2 (atoms 2 and 5) hidden on top of the slab; species beyond the table are simply shown.
    SetSpeciesHidden(2, true);
    EXPECT_FALSE(AtomShown(1, centre));
    EXPECT_FALSE(BondShown(1, centre));
    EXPECT_TRUE(BondShown(2, centre));
    EXPECT_TRUE(SpeciesHidden(2));
    EXPECT_FALSE(SpeciesHidden(3));
    EXPECT_FALSE(SpeciesHidden(1000));
    EXPECT_EQ(HiddenSpeciesList(), "2");
    SlabCut zero = {true, {0, 0, 0}, 0, 1};
    EXPECT_FALSE(NormaliseSlabNormal(zero));
    const double direction[3] = {0, 0, 1};
    EXPECT_DOUBLE_EQ(ExtentAlong(direction), 6);
    EXPECT_EQ(SlabLine(slab), "Slab cut on: normal (0, 0, 1), centre offset 0.5, width 3.");
}

using PickReportTest = SceneTest;

TEST_F(PickReportTest, SeriesOfPicksReportsDistanceAngleAndAxes) {
    SetSpecies({{1.5, 0.5, 0.5}, {1, 1, 1}});
    const double turned[4] = {std::cos(pi / 8), 0, 0, std::sin(pi / 8)};  // 45 degrees about z
    AddAtom(417, 1, 12.503, -3.117, 8.406, turned);
    AddAtom(418, 1, 12.503 + 9, -3.117, 8.406, IDENTITY);  // 9 apart in x
    AddAtom(419, 2, 12.503 + 9, -3.117 + 4, 8.406, IDENTITY);
    quantityNames = {"vx", "c_pe"};
    quantities = {0.25, -3.5, 0, 0, 1, 2};
    std::vector<std::string> first = RecordPick(0);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], "Atom 1 (label 417, species 1): position (12.503, -3.117, 8.406), orientation (0.9239, 0, 0, "
                        "0.3827), half radii (1.5, 0.5, 0.5); vx 0.25, c_pe -3.5");
    // Second pick: the distance, the minimum image in a periodic box 10 wide, and the axes 45 degrees apart.
    frameBox = {true, {0, 0, 0}, {{10, 0, 0}, {0, 10, 0}, {0, 0, 10}}};
    std::vector<std::string> second = RecordPick(1);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[1], "Distance between atoms 1 and 2: 9.0000, minimum image 1.0000.");
    EXPECT_EQ(second[2], "Angle between the unique axes of atoms 1 and 2: 45.00 degrees.");
    std::vector<std::string> third = RecordPick(2);
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third[1], "Angle 1-2-3: 90.00 degrees.");
    EXPECT_EQ(pickedLabels, (std::vector<double>{417, 418, 419}));
    // A fourth starts again; a sphere gives no axis line.
    std::vector<std::string> fourth = RecordPick(2);
    EXPECT_EQ(pickedLabels, (std::vector<double>{419}));
    frameBox.exists = false;
    std::vector<std::string> fifth = RecordPick(0);
    ASSERT_EQ(fifth.size(), 2u);
    EXPECT_EQ(fifth[1].rfind("Distance between atoms 3 and 1: ", 0), 0u);
    EXPECT_EQ(fifth[1].find("minimum image"), std::string::npos);
}

TEST_F(PickReportTest, MinimumImageInATiltedBox) {
    // A strongly tilted box: rounding the fractions alone misses the nearest image; the search finds it.
    SimulationBox box = {true, {0, 0, 0}, {{10, 0, 0}, {9, 2, 0}, {0, 0, 10}}};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(-12, 12);
    for (int trial = 0; trial < 300; ++trial) {
        double d[3] = {unit(random), unit(random), unit(random)};
        double brute = 1e300;
        for (int i = -12; i <= 12; ++i)
            for (int j = -10; j <= 10; ++j)
                for (int k = -3; k <= 3; ++k) {
                    double v[3];
                    for (int c = 0; c < 3; ++c) v[c] = d[c] + i * box.edges[0][c] + j * box.edges[1][c] + k * box.edges[2][c];
                    brute = std::min(brute, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
                }
        EXPECT_NEAR(MinimumImageLength(d, box), brute, 1e-9) << trial;
    }
}

using LookInsideConfigTest = SceneTest;

std::string Config(const std::string& extra) {
    return "dumpfile x.dump\nspecies 3\nhalf_radii 1 1 1 1\nhalf_radii 2 1 1 1\nhalf_radii 3 1 1 1\n"
           "bond_vector 1 1 0 0 0\ncolor 1 1 0 0\ncolor 2 0 1 0\ncolor 3 0 0 1\nbackground 0 0 0\n" + extra;
}

TEST_F(LookInsideConfigTest, KeywordsSwitchOnAndAReadWithoutThemSwitchesOff) {
    std::string name = WriteTempFile("inside.cfg", Config("show_box\nslab 0 3 4 -1.5 2\nhide_species 1 3\nfit_view\n"));
    ConsoleRun run = RunCaptured([&] { ReadConfig(name); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(showBox);
    EXPECT_TRUE(fitViewOnLoad);
    EXPECT_TRUE(slab.on);
    EXPECT_EQ(std::vector<double>(slab.normal, slab.normal + 3), (std::vector<double>{0, 0.6, 0.8}));
    EXPECT_EQ(slab.offset, -1.5);
    EXPECT_EQ(slab.width, 2);
    EXPECT_EQ(HiddenSpeciesList(), "1,3");
    pickedLabels = {5};

    std::string plain = WriteTempFile("plain.cfg", Config(""));
    ASSERT_FALSE(RunCaptured([&] { ReadConfig(plain); }).exited);
    EXPECT_FALSE(showBox || fitViewOnLoad || slab.on);
    EXPECT_TRUE(hiddenSpecies.empty());
    EXPECT_TRUE(pickedLabels.empty());

    const std::string bad[] = {"slab 0 0 0 1 1\n", "slab 0 0 1 1\n", "slab 0 0 1 1 0\n", "hide_species 0\n",
                               "hide_species 2x\n"};
    for (const std::string& line : bad) {
        std::string broken = WriteTempFile("bad.cfg", Config(line));
        ConsoleRun refused = RunCaptured([&] { ReadConfig(broken); }, "\n");
        EXPECT_TRUE(refused.exited) << line;
        EXPECT_NE(refused.output.find("Please correct the input file"), std::string::npos) << refused.output;
    }
}

TEST(LookInsideOptions, BoxSlabAndHiddenSpeciesOnTheCommandLine) {
    const char* good[] = {"--box", "--slab", "1,0,0,-2.5,4", "--hide-species=2,7", "run.cfg"};
    RenderOptions options;
    std::string error;
    ASSERT_TRUE(ParseRenderOptions(5, good, options, error)) << error;
    EXPECT_TRUE(options.box);
    EXPECT_TRUE(options.slabGiven);
    EXPECT_EQ(std::vector<double>(options.slab, options.slab + 5), (std::vector<double>{1, 0, 0, -2.5, 4}));
    EXPECT_EQ(options.hiddenSpecies, (std::vector<int>{2, 7}));
    const std::vector<std::string> bad = {"--slab=0,0,0,1,1", "--slab=1,0,0,1", "--slab=1,0,0,1,1,1", "--slab=1,0,0,1,-1",
                                          "--slab=1,0,,1,1", "--slab=1,0,0,1,nan", "--hide-species=0",
                                          "--hide-species=2,", "--hide-species=a"};
    for (const std::string& word : bad) {
        const char* argv[] = {word.c_str(), "run.cfg"};
        RenderOptions refused;
        EXPECT_FALSE(ParseRenderOptions(2, argv, refused, error)) << word;
        EXPECT_NE(error.find(word.substr(2, word.find('=') - 2)), std::string::npos) << error;
    }
    EXPECT_NE(RenderUsage().find("--hide-species"), std::string::npos);
}

}  // namespace
