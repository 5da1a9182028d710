// Adaptive detail against the default drawing and a fine tessellation, and the state a skipped
// ellipsoid leaves for the line bonds drawn after it. Needs a display (the window tests' Xvfb); skipped without one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/scene.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/shapes.h"
#include "tests/gl/gl_window.h"
#include "tests/gl/pictures.h"
#include "tests/support/random_scene.h"

namespace {

class Detail : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OpenTestWindow()) GTEST_SKIP() << "no display";
    }
    void TearDown() override {
        adaptiveDetail = false;
        solidBonds = false;
        cullOutsideView = true;
        if (texture[0] != 0) glDeleteTextures(1, &texture[0]);
        texture.assign(1, 0);
        glClearColor(BGColor[0], BGColor[1], BGColor[2], BGColor[3]);
    }
};

// The benchmark's 10,000 ellipsoids on white, whole view: adaptive detail draws them with far fewer
// triangles and looks the same (mean difference, and blurred pixels, which forgive sub-pixel edge shifts).
TEST_F(Detail, WholeViewLooksLikeTheDefaultDrawing) {
    SetBackground(1.0f);
    FillRandomScene(10000);
    Picture standard = DrawScene(false), adaptive = DrawScene(true);
    Comparison c = Compare(standard, adaptive, 255);
    EXPECT_GT(c.drawn, 100000);
    EXPECT_GT(c.differing, 0);  // the adaptive drawing really is another tessellation
    EXPECT_LE(c.meanDifference, 2.5);
    EXPECT_GE(c.blurredWithin24, 0.99);
    RecordProperty("mean_difference", std::to_string(c.meanDifference));
    RecordProperty("blurred_within_24", std::to_string(c.blurredWithin24));
    std::printf("whole view: mean difference %.2f levels, %.2f %% of blurred pixels within 24\n", c.meanDifference,
                100 * c.blurredWithin24);
}

// One ellipsoid 400 pixels long, plain and textured: adaptive detail is closer to a 128 x 128 tessellation
// than the default 30 x 30, with the same texture mapping.
TEST_F(Detail, LargeEllipsoidIsCloserToAFineTessellationThanTheDefault) {
    SetBackground(0.2f);
    species = 1;
    shape = {52.0, 21.0, 16.0};  // 52 units at 200 from the eye: 200 pixels, half of the 400
    color = {0.85, 0.6, 0.3};
    bondvec.assign(3, 0.0);
    topology.clear();
    atoms = 1;
    const double turned = std::sqrt(0.5);
    geom = {1, 1, 0, 0, 0, turned, 0, 0.3 * turned, 0.95 * turned};
    for (bool textured : {false, true}) {
        if (textured) texture[0] = MakeTexture();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        CreateEllipsoid(1, {0, 0, 0}, {geom[5], geom[6], geom[7], geom[8]}, 128, 128);
        Picture fine = ReadPicture();
        Comparison standard = Compare(fine, DrawScene(false), 51);
        Comparison adaptive = Compare(fine, DrawScene(true), 51);
        EXPECT_GT(standard.drawn, 40000) << "textured " << textured;
        EXPECT_GT(standard.offBy16, 0) << "textured " << textured;
        EXPECT_LT(adaptive.offBy16, standard.offBy16) << "textured " << textured;
        std::printf("400-pixel ellipsoid%s against 128 x 128: default %ld pixels off by more than 16, adaptive %ld\n",
                    textured ? ", textured," : "", standard.offBy16, adaptive.offBy16);
    }
}

// Pairs of ellipsoids outside the view to the left and right, bonded across it: the lines must look the same
// whether the ellipsoids are sent (and clipped) or left out, with and without a texture, after solid bonds,
// by default and with adaptive detail.
TEST_F(Detail, LineBondsLookTheSameWhenEveryEllipsoidIsLeftOut) {
    SetBackground(0.2f);
    species = 1;
    shape = {1.5, 1.0, 0.7};
    color = {0.3, 0.7, 0.4};
    bondvec.assign(3, 0.0);
    const int pairs = 12;
    atoms = 2 * pairs;
    geom.assign(static_cast<std::size_t>(atoms) * GEOM_STRIDE, 0.0);
    topology.clear();
    for (int k = 0; k < pairs; ++k)
        for (int side = 0; side < 2; ++side) {
            double* row = &geom[static_cast<std::size_t>(2 * k + side) * GEOM_STRIDE];
            row[0] = 2 * k + side + 1;
            row[GEOM_TYPE] = 1;
            row[GEOM_X] = side == 0 ? -150 : 150;
            row[GEOM_X + 1] = -60 + 10 * k + (side == 0 ? 0 : 6);
            row[GEOM_X + 2] = -10 + k;
            row[GEOM_QW] = 1;
            if (side == 1) topology.insert(topology.end(), {2 * k + 1, 2 * k + 2, 1, 1});
        }
    for (bool textured : {false, true})
        for (bool adaptive : {false, true}) {
            if (textured && texture[0] == 0) texture[0] = MakeTexture();
            Picture pictures[2];
            for (int cull = 0; cull < 2; ++cull) {
                // Solid bonds first: they leave the cylinder's normal behind, which the lines must not inherit.
                solidBonds = true;
                bondwidth = 0.5;
                DrawScene(adaptive);
                solidBonds = false;
                cullOutsideView = cull == 1;
                pictures[cull] = DrawScene(adaptive);
                EXPECT_EQ(ellipsoidsOutsideView, cull == 1 ? atoms : 0);
                cullOutsideView = true;
            }
            Comparison c = Compare(pictures[0], pictures[1], 51);
            EXPECT_GT(c.drawn, 2000) << "the lines are not drawn; textured " << textured << ", adaptive " << adaptive;
            EXPECT_EQ(c.differing, 0) << "textured " << textured << ", adaptive " << adaptive;
        }
}

// A 1 x 1 window, no atoms, and the eye inside the scene: adaptive detail draws without failing, and a
// frame drawn afterwards is the same as before.
TEST_F(Detail, OddViewsAndEmptyFramesDrawSafely) {
    SetBackground(0.2f);
    FillRandomScene(500);
    Picture before = DrawScene(true);
    Reshape(1, 1);
    DrawScene(true);
    Reshape(1024, 640);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, 200.0f);  // eye in the middle of the cloud, ellipsoids across the near plane
    Picture inside = DrawScene(true);
    glPopMatrix();
    EXPECT_GT(Compare(inside, before, 51).drawn, 1000);
    atoms = 0;
    geom.clear();
    Picture empty = DrawScene(true);
    EXPECT_EQ(Compare(empty, empty, 51).drawn, 0);
    FillRandomScene(500);
    EXPECT_EQ(Compare(before, DrawScene(true), 51).differing, 0);
}

}  // namespace
