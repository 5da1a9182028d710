// Transparent species: blended far to near over what lies behind them, in the tessellated and the ray-cast
// drawing; with the switch off, or every opacity 1, the pictures are those of no transparency at all.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/scene.h"
#include "core/transparency.h"
#include "core/visibility.h"
#include "render/raycast.h"
#include "tests/gl/gl_window.h"
#include "tests/gl/pictures.h"

namespace {

// Three spheres on the view axis: a red opaque one at the back, a blue one in the middle, a green one in front.
void SetThreeSpheres() {
    species = 3;
    shape = {30, 30, 30, 15, 15, 15, 10, 10, 10};
    color = {0.9, 0.2, 0.2, 0.2, 0.3, 0.9, 0.2, 0.9, 0.3};
    bondvec.assign(9, 0.0);
    topology.clear();
    atoms = 3;
    geom = {1, 1, 0, 0, -40, 1, 0, 0, 0,
            2, 2, 0, 0, 0, 1, 0, 0, 0,
            3, 3, 0, 0, 20, 1, 0, 0, 0};
    ++particleDataVersion;
}

Picture Draw(bool raycast) {
    raycastEllipsoids = raycast;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    raycastEllipsoids = false;
    return ReadPicture();
}

// The colour of the middle pixel with only species n shown, opaque.
std::vector<double> Alone(int n, bool raycast) {
    ResetTransparency();
    for (int m = 1; m <= 3; ++m) SetSpeciesHidden(m, m != n);
    Picture picture = Draw(raycast);
    hiddenSpecies.clear();
    ++particleDataVersion;
    std::size_t middle = 3 * (static_cast<std::size_t>(window_height / 2) * window_width + window_width / 2);
    return {double(picture[middle]), double(picture[middle + 1]), double(picture[middle + 2])};
}

class Transparency : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (!OpenTestWindow()) GTEST_SKIP() << "no display";
        if (GetParam() && !RaycastAvailable()) GTEST_SKIP() << "this context cannot ray-cast: " << RaycastProblem();
        SetBackground(0.2f);
        SetThreeSpheres();
    }
    void TearDown() override {
        ResetTransparency();
        hiddenSpecies.clear();
        raycastEllipsoids = false;
    }
};

TEST_P(Transparency, BlendsFarToNearOverTheOpaqueAndIsExactWhenOff) {
    const bool raycast = GetParam();
    std::vector<double> red = Alone(1, raycast), blue = Alone(2, raycast), green = Alone(3, raycast);
    ResetTransparency();
    Picture opaque = Draw(raycast);

    SetSpeciesOpacity(2, 0.4);
    SetSpeciesOpacity(3, 0.6);
    Picture blended = Draw(raycast);
    std::size_t middle = 3 * (static_cast<std::size_t>(window_height / 2) * window_width + window_width / 2);
    for (int c = 0; c < 3; ++c) {
        double expected = 0.6 * green[c] + 0.4 * (0.4 * blue[c] + 0.6 * red[c]);
        EXPECT_NEAR(blended[middle + c], expected, 3.0) << "channel " << c << (raycast ? ", ray-cast" : ", tessellated");
    }

    SetTransparencyOn(false);
    EXPECT_TRUE(Draw(raycast) == opaque) << "the switch off draws as without transparency";
    ResetTransparency();
    SetSpeciesOpacity(2, 1.0);
    EXPECT_TRUE(Draw(raycast) == opaque) << "opacity 1 is opaque";

    SetSpeciesOpacity(2, 0.0);
    Picture none = Draw(raycast);
    ResetTransparency();
    SetSpeciesHidden(2, true);
    EXPECT_TRUE(Draw(raycast) == none) << "opacity 0 draws nothing";
}

INSTANTIATE_TEST_SUITE_P(Drawings, Transparency, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Raycast" : "Tessellated"; });

}  // namespace
