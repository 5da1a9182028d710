// Occlusion culling in the ray-cast drawing and in adaptive detail: the pictures with it equal those without it
// pixel for pixel, for a dense block of rods and a sparse cloud, seen whole, close up and from inside, with the
// slab, hidden and transparent species and periodic images; and in the dense block seen whole most rods are left
// out.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/scene.h"
#include "core/transparency.h"
#include "core/visibility.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/picture.h"
#include "render/raycast.h"
#include "tests/gl/gl_window.h"
#include "tests/gl/pictures.h"

namespace {

// Rods (half radii 0.5, 0.5, 1.5) of three species on a lattice `side` wide, `spacing` apart, slightly tilted.
void SetRods(int side, double spacing) {
    species = 3;
    shape = {0.5, 0.5, 1.5, 0.5, 0.5, 1.5, 0.4, 0.6, 1.5};
    color = {0.9, 0.3, 0.2, 0.2, 0.7, 0.3, 0.3, 0.4, 0.9};
    bondvec.assign(9, 0.0);
    topology.clear();
    atoms = side * side * side;
    geom.clear();
    std::mt19937 random(7);
    std::normal_distribution<double> tilt(0, 0.1);
    for (int i = 0; i < atoms; ++i) {
        int x = i % side, y = (i / side) % side, z = i / (side * side);
        double ax = tilt(random), ay = tilt(random), half = std::sqrt(ax * ax + ay * ay) / 2;
        double s = half > 0 ? std::sin(half) / (2 * half) : 0.5;
        geom.insert(geom.end(), {i + 1.0, 1.0 + i % 3, spacing * (x - side / 2.0), spacing * (y - side / 2.0),
                                 3 * spacing * (z - side / 2.0), std::cos(half), ax * s, ay * s, 0});
    }
    double edge = spacing * side;
    frameBox = {true, {-edge / 2 - spacing / 2, -edge / 2 - spacing / 2, -3 * edge / 2 - 1.5 * spacing},
                {{edge, 0, 0}, {0, edge, 0}, {0, 0, 3 * edge}}};
    ++particleDataVersion;
}

class Culling : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OpenTestWindow()) GTEST_SKIP() << "no display";
        if (!RaycastAvailable()) GTEST_SKIP() << "this context cannot ray-cast: " << RaycastProblem();
        fixedCentre = true;
        for (double& c : fixedCentrePoint) c = 0;
        glClearColor(0.2f, 0.2f, 0.2f, 1.0f);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();  // the other suites of the process start from the start-up view
        viewKept = true;
    }
    void TearDown() override {
        fixedCentre = frameBox.exists = raycastEllipsoids = adaptiveDetail = false;
        occlusionCulling = true;
        for (int& count : imageCounts) count = 1;
        slab.on = false;
        hiddenSpecies.clear();
        ResetTransparency();
        geom.clear();
        atoms = 0;
        ++particleDataVersion;
        if (!viewKept) return;
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
    bool viewKept = false;
};

bool adaptive = false;  // the drawing culled: adaptive detail, else ray-cast

// The picture from `eye` looking at the origin, with culling on or off; `left` gets the rods left out.
Picture Draw(const double* eye, bool culling, long long* left = nullptr) {
    occlusionCulling = culling;
    raycastEllipsoids = !adaptive;
    adaptiveDetail = adaptive;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye[0], eye[1], eye[2], 0, 0, 0, 0, 1, 0);
    DrawPicture();
    if (left) *left = adaptive ? AdaptiveEllipsoidsCulled() : RaycastRecordsCulled();
    return ReadPicture();
}

void ExpectSamePictures(const double* eye, const std::string& what, long long* left = nullptr) {
    SCOPED_TRACE(what);
    Picture all = Draw(eye, false);
    long long dropped = 0;
    Picture culled = Draw(eye, true, &dropped);
    if (left) *left = dropped;
    std::size_t differ = 0, first = 0;
    for (std::size_t i = 0; i < all.size(); i += 3)
        if (all[i] != culled[i] || all[i + 1] != culled[i + 1] || all[i + 2] != culled[i + 2]) {
            if (differ++ == 0) first = i / 3;
        }
    EXPECT_EQ(differ, 0u) << "left out " << dropped << "; first at x " << first % window_width << ", y " << first / window_width;
}

void ExpectSamePicturesEverywhere() {
    const double whole[3] = {30, 22, 95}, close[3] = {4, 3, 18}, inside[3] = {0.3, 0.2, 2.0};
    SetRods(12, 1.05);  // 1,728 rods, packed
    long long left = 0;
    ExpectSamePictures(whole, "dense, whole", &left);
    EXPECT_GT(left, adaptive ? atoms / 3 : atoms / 2) << "culling left out too few of a dense block";
    ExpectSamePictures(close, "dense, close up");
    ExpectSamePictures(inside, "dense, from inside");

    slab = {true, {0, 0, 1}, 0, 20};
    ExpectSamePictures(whole, "dense, slab");
    slab.on = false;
    SetSpeciesHidden(2, true);
    ExpectSamePictures(whole, "dense, a species hidden");
    hiddenSpecies.clear();
    ++particleDataVersion;
    SetSpeciesOpacity(3, 0.5);
    ExpectSamePictures(whole, "dense, a species transparent");
    ResetTransparency();
    imageCounts[0] = imageCounts[1] = imageCounts[2] = 3;
    const double far[3] = {80, 60, 260};
    ExpectSamePictures(far, "dense, periodic images");
    for (int& count : imageCounts) count = 1;

    SetRods(10, 4.0);  // a sparse cloud: little to leave out
    ExpectSamePictures(whole, "sparse, whole");
    ExpectSamePictures(close, "sparse, close up");
}

TEST_F(Culling, PicturesAreThoseWithoutItAndMostHiddenRodsAreLeftOut) {
    adaptive = false;
    ExpectSamePicturesEverywhere();
}

// The tessellations lie inside the true ellipsoids: they hide only what their inner ellipsoids hide.
TEST_F(Culling, AdaptiveDetailPicturesAreThoseWithoutIt) {
    adaptive = true;
    ExpectSamePicturesEverywhere();
    adaptive = false;
}

}  // namespace
