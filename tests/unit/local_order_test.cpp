// Local order, domains and smectic layers: one thread and many alike, eigenvalues where two meet, the settings
// of local_order and --local-order, and the domains' own colours. (The values themselves are checked against
// numpy and scipy in tests/python/test_local_order.py.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "core/derived_quantities.h"
#include "core/local_order.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "headless/render_options.h"
#include "io/config/config_reader.h"
#include "tests/support/test_support.h"

namespace {

using LocalOrder = SceneTest;

// n rods about two directors in a tilted box, the box's lower corner at origin.
void RandomRods(int n, SimulationBox& box, std::vector<double>& position, std::vector<double>& axis,
                std::vector<double>& label) {
    std::mt19937 random(27);
    std::uniform_real_distribution<double> unit(0, 1);
    std::normal_distribution<double> spread(0, 0.2);
    box = {true, {-3, 1, 2}, {{20, 0, 0}, {6, 18, 0}, {-4, 3, 16}}};
    for (int i = 0; i < n; ++i) {
        const double s[3] = {unit(random), unit(random), unit(random)};
        double u[3] = {spread(random), spread(random), spread(random)};
        u[i % 2] += 1;
        const double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        for (int a = 0; a < 3; ++a) {
            position.push_back(box.origin[a] + s[0] * box.edges[0][a] + s[1] * box.edges[1][a] + s[2] * box.edges[2][a]);
            axis.push_back(u[a] / length);
        }
        label.push_back(n - i);
    }
}

TEST_F(LocalOrder, OneThreadAndManyGiveTheSameNumbers) {
    SimulationBox box{};
    std::vector<double> position, axis, label;
    RandomRods(3000, box, position, axis, label);
    LocalOrderResult one, many;
    LimitAnalysisThreads(1);
    LocalOrderOf(position, axis, label, box, 2.2, 20, 3, one);
    const double director[3] = {1, 0, 0};
    const SmecticResult smecticOne = SmecticOf(position, director, 1, 4.5);
    LimitAnalysisThreads(8);
    LocalOrderOf(position, axis, label, box, 2.2, 20, 3, many);
    const SmecticResult smecticMany = SmecticOf(position, director, 1, 4.5);
    LimitAnalysisThreads(0);
    EXPECT_EQ(one.localS, many.localS);
    EXPECT_EQ(one.domain, many.domain);
    EXPECT_EQ(one.domainSizes, many.domainSizes);
    EXPECT_GT(one.domainSizes.size(), 1u);
    EXPECT_EQ(smecticOne.tau, smecticMany.tau);
    EXPECT_EQ(smecticOne.spacing, smecticMany.spacing);
}

// |mean of exp(2 pi i x / d)| over the particles' x.
double TauAt(const std::vector<double>& position, double d) {
    std::complex<double> sum = 0;
    for (std::size_t j = 0; j < position.size(); j += 3) sum += std::polar(1.0, 2 * pi * position[j] / d);
    return std::abs(sum) / static_cast<double>(position.size() / 3);
}

// The largest tau over q = 1/d from 1/dmax to 1/dmin: a scan at 20 points to a peak's width, then 50 points
// across each step next to the two highest.
double ScannedTau(const std::vector<double>& position, double extent, double dmin, double dmax) {
    const int points = static_cast<int>((1 / dmin - 1 / dmax) * extent * 20) + 2;
    const double step = (1 / dmin - 1 / dmax) / (points - 1);
    std::vector<std::pair<double, double>> scan;
    for (int m = 0; m < points; ++m) scan.push_back({TauAt(position, 1 / (1 / dmax + m * step)), 1 / dmax + m * step});
    std::sort(scan.rbegin(), scan.rend());
    double best = scan[0].first;
    for (int k = 0; k < 2; ++k)
        for (int f = -50; f <= 50; ++f) {
            const double q = scan[static_cast<std::size_t>(k)].second + f * step / 50;
            if (q >= 1 / dmax && q <= 1 / dmin) best = std::max(best, TauAt(position, 1 / q));
        }
    return best;
}

TEST_F(LocalOrder, SmecticLayersOfManyParticlesAsAFineScanFindsThem) {
    // 4000 particles (more than the histogram has bins) in layers 2.37 or 3.05 apart along x, then at random
    // (0): a clear peak is found to the scan's precision, noise to within 0.001.
    std::mt19937 random(5);
    std::uniform_real_distribution<double> place(0, 47.4);
    std::normal_distribution<double> blur(0, 0.35);
    const double director[3] = {1, 0, 0};
    for (double layers : {2.37, 3.05, 0.0}) {
        std::vector<double> position;
        for (int j = 0; j < 4000; ++j) {
            const double x = layers > 0 ? layers * std::floor(place(random) / layers) + blur(random) : place(random);
            position.insert(position.end(), {x, place(random), place(random)});
        }
        const SmecticResult found = SmecticOf(position, director, 2, 6);
        ASSERT_TRUE(found.exists);
        EXPECT_NEAR(found.tau, TauAt(position, found.spacing), 1e-12);
        EXPECT_NEAR(found.tau, ScannedTau(position, 49, 2, 6), layers > 0 ? 1e-5 : 1e-3) << layers;
        if (layers > 0) {
            EXPECT_NEAR(found.spacing, layers, 0.01);
        }
    }
}

TEST_F(LocalOrder, EigenvaluesWhereTwoMeetAndLoneRods) {
    // Two rods across each other: Q has the eigenvalues 1/4, 1/4, -1/2, the largest two equal.
    const double crossed[9] = {0.25, 0, 0, 0, 0.25, 0, 0, 0, -0.5};
    EXPECT_DOUBLE_EQ(LargestEigenvalue(crossed), 0.25);
    const double c = std::cos(0.3), s = std::sin(0.3);  // the same turned about z and x
    const double turned[9] = {0.25, 0, 0, 0, 0.25 * c * c - 0.5 * s * s, 0.75 * c * s, 0, 0.75 * c * s, 0.25 * s * s - 0.5 * c * c};
    EXPECT_NEAR(LargestEigenvalue(turned), 0.25, 1e-15);
    // Rods far apart without a box: each its own neighbour only, S = 1; no domain reaches two.
    const std::vector<double> position = {0, 0, 0, 10, 0, 0, 0, 10, 0}, axis = {1, 0, 0, 0, 1, 0, 0, 0, 1}, label = {1, 2, 3};
    LocalOrderResult result;
    LocalOrderOf(position, axis, label, SimulationBox{}, 2, 20, 2, result);
    EXPECT_EQ(result.localS, (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(result.domain, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(result.components, 3);
    // A tie of sizes: the domain with the smaller label comes first; in a box, across its faces.
    const SimulationBox box = {true, {0, 0, 0}, {{10, 0, 0}, {0, 10, 0}, {0, 0, 10}}};
    const std::vector<double> pairs = {0.5, 5, 5, 9.5, 5, 5, 5, 0.5, 5, 5, 9.5, 5}, along = {1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0};
    LocalOrderOf(pairs, along, {7, 8, 3, 4}, box, 2, 20, 2, result);
    EXPECT_EQ(result.domain, (std::vector<int>{2, 2, 1, 1}));
}

TEST_F(LocalOrder, SettingsOfTheConfigurationAndTheCommandLine) {
    LocalOrderSettings settings;
    EXPECT_EQ(ParseLocalOrder("2.5", ':', settings), "");
    EXPECT_EQ(settings.cutoff, 2.5);
    EXPECT_EQ(settings.angle, DEFAULT_DOMAIN_ANGLE);
    EXPECT_EQ(ParseLocalOrder(" 3  15\t4 ", ' ', settings), "");
    EXPECT_EQ(settings.minimum, 4);
    for (const char* bad : {"", "0", "-1", "3:0", "3:91", "3:20:0", "3:20:2.5", "3:20:10:1", "3::10", "x", "nan"})
        EXPECT_NE(ParseLocalOrder(bad, ':', settings), "") << bad;
    RenderOptions options;
    std::string error;
    EXPECT_FALSE(SetLocalOrderOption(options, "3:100", error));
    EXPECT_EQ(error.find("--local-order takes the cut-off RC"), 0u) << error;
    const std::string head = "dumpfile a.dump\nspecies 1\nhalf_radii 1 1.5 0.5 0.5\ncolor 1 1 0 0\nbond_vector 1 1 0 0 0\n"
                             "background 1 1 1\n";
    RunCaptured([&] { ReadConfig(WriteTempFile("order.cfg", head + "local_order 4 30 7\n")); });
    EXPECT_EQ(localOrderCutoff, 4);
    EXPECT_EQ(localOrderAngle, 30);
    EXPECT_EQ(localOrderMinimum, 7);
    RunCaptured([&] { ReadConfig(WriteTempFile("plain.cfg", head)); });  // a reload starts from the defaults
    EXPECT_EQ(localOrderCutoff, 0);
    const ConsoleRun bad = RunCaptured([&] { ReadConfig(WriteTempFile("bad.cfg", head + "local_order 3 20 1 2\n")); });
    EXPECT_TRUE(bad.exited);
    EXPECT_NE(bad.output.find("Illegal entry 'local_order 3 20 1 2'."), std::string::npos) << bad.output;
}

TEST_F(LocalOrder, ListedOnceAskedForAndWhileTheFrameHasRods) {
    species = 2;
    shape = {1.5, 0.5, 0.5, 1, 1, 1};
    for (int i = 0; i < 3; ++i) {
        const double row[GEOM_STRIDE] = {i + 1.0, 1.0 + i % 2, 2.0 * i, 0, 0, 1, 0, 0, 0};
        geom.insert(geom.end(), row, row + GEOM_STRIDE);
    }
    atoms = 3;
    quantityNames = {"vx"};
    quantities = {1, 2, 3};
    ++particleDataVersion;
    EXPECT_EQ(QuantityCount(), 1);  // a file's own quantities alone until asked
    colourByName = "domain";
    ASSERT_EQ(QuantityCount(), 3);
    EXPECT_EQ(QuantityName(1), "local_S");
    EXPECT_TRUE(QuantityCategorical(2));
    EXPECT_EQ(QuantityValue(0, 1), 1);  // the rods are 4 apart, beyond the cut-off 3: each its own neighbour
    EXPECT_TRUE(std::isnan(QuantityValue(1, 1)));  // a sphere
    colourByName.clear();
    localOrderAsked = true;
    EXPECT_EQ(DerivedQuantityIndex("domain"), 2);
    for (int i = 0; i < 3; ++i) geom[static_cast<std::size_t>(GEOM_STRIDE * i + GEOM_TYPE)] = 2;
    ++particleDataVersion;
    EXPECT_EQ(QuantityCount(), 1);  // spheres only: nothing to list
}

TEST_F(LocalOrder, DomainsTakeColoursOfTheirOwnAndNoneIsGrey) {
    float none[3], first[3], second[3], again[3];
    CategoryColour(0, none);
    CategoryColour(1, first);
    CategoryColour(2, second);
    CategoryColour(13, again);  // the colours come round again after twelve
    EXPECT_TRUE(none[0] == none[1] && none[1] == none[2]);
    EXPECT_FALSE(first[0] == second[0] && first[1] == second[1] && first[2] == second[2]);
    EXPECT_TRUE(first[0] == again[0] && first[1] == again[1] && first[2] == again[2]);
    EXPECT_FALSE(first[0] == first[1] && first[1] == first[2]);
}

}  // namespace
