// Ambient occlusion in the pictures: a rod among neighbours drawn darker than a lone one by its factor in all
// three drawings, the ray-cast records sent again only when the factors change, and with occlusion off (or
// at strength 0) every picture as without it. Needs a display (the window tests' Xvfb); skipped without one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "core/geometry.h"
#include "core/occlusion.h"
#include "core/scene.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/raycast.h"
#include "tests/gl/gl_window.h"
#include "tests/gl/pictures.h"
#include "tests/support/random_scene.h"

namespace {

enum Drawing { TESSELLATED, ADAPTIVE, RAYCAST };

Picture Draw(Drawing drawing) {
    adaptiveDetail = drawing == ADAPTIVE;
    raycastEllipsoids = drawing == RAYCAST;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    adaptiveDetail = raycastEllipsoids = false;
    return ReadPicture();
}

// Rods lying along y, side by side along x (the middle one, atom 0, between four), and one alone far off.
void RodsInARow() {
    species = 1;
    shape = {0.45, 1.5, 0.45};
    color = {0.6, 0.45, 0.2};  // lit below 1 in every channel: no clamping hides the factor
    bondvec.assign(3, 0.0);
    topology.clear();
    const double xs[] = {0, -1, 1, -2, 2, 9};
    atoms = 6;
    geom.clear();
    for (int i = 0; i < atoms; ++i) geom.insert(geom.end(), {double(i + 1), 1, xs[i], 0, 0, 1, 0, 0, 0});
    ++particleDataVersion;
}

// The picture's pixel under the centre of atom i.
const unsigned char* PixelOf(const Picture& picture, int i) {
    double modelview[16], projection[16], x = 0, y = 0, z = 0;
    int viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::vector<double> centre = FrameCentre();
    const double* row = GeomRow(i);
    gluProject(row[GEOM_X] - centre[0], row[GEOM_X + 1] - centre[1], row[GEOM_X + 2] - centre[2], modelview, projection,
               viewport, &x, &y, &z);
    return &picture[3 * (static_cast<std::size_t>(y) * window_width + static_cast<std::size_t>(x))];
}

class OcclusionPicture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OpenTestWindow()) GTEST_SKIP() << "no display";
        if (!RaycastAvailable()) GTEST_SKIP() << "this context cannot ray-cast: " << RaycastProblem();
        glPushMatrix();
        glTranslatef(0.0f, 0.0f, 170.0f);  // 30 units from the eye: a rod is a few dozen pixels wide
    }
    void TearDown() override {
        glPopMatrix();
        ambientOcclusion = false;
        occlusionStrength = DEFAULT_OCCLUSION_STRENGTH;
    }
};

TEST_F(OcclusionPicture, RodAmongNeighboursIsDarkerByItsFactorInEveryDrawing) {
    RodsInARow();
    const Picture before[3] = {Draw(TESSELLATED), Draw(ADAPTIVE), Draw(RAYCAST)};
    ambientOcclusion = true;
    occlusionStrength = 0.9;
    const float middle = OcclusionFactor(0), lone = OcclusionFactor(5);
    EXPECT_EQ(lone, 1.0f);
    EXPECT_LT(middle, 0.75f);
    for (Drawing drawing : {TESSELLATED, ADAPTIVE, RAYCAST}) {
        Picture shaded = Draw(drawing);
        const unsigned char *dark = PixelOf(shaded, 0), *bright = PixelOf(shaded, 5);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(bright[c], PixelOf(before[drawing], 5)[c]) << drawing;
            EXPECT_NEAR(dark[c], middle * PixelOf(before[drawing], 0)[c], 2.0) << drawing << " channel " << c;
        }
    }
    // Strength 0 shades nothing, and switched off every drawing is as before it was on.
    occlusionStrength = 0;
    for (Drawing drawing : {TESSELLATED, ADAPTIVE, RAYCAST}) EXPECT_EQ(Draw(drawing), before[drawing]) << drawing;
    occlusionStrength = 0.9;
    Draw(TESSELLATED);
    ambientOcclusion = false;
    for (Drawing drawing : {TESSELLATED, ADAPTIVE, RAYCAST}) EXPECT_EQ(Draw(drawing), before[drawing]) << drawing;
}

// The records carry the factors: sent again when occlusion or its strength changes, not on every redraw.
TEST_F(OcclusionPicture, RecordsGoAgainOnlyWhenTheFactorsChange) {
    FillRandomScene(800);
    Draw(RAYCAST);
    long long uploads = RaycastUploads(), computed = OcclusionComputations();
    ambientOcclusion = true;
    Picture on = Draw(RAYCAST);
    EXPECT_EQ(RaycastUploads(), ++uploads);
    EXPECT_EQ(OcclusionComputations(), ++computed);
    Draw(RAYCAST);
    Draw(TESSELLATED);
    EXPECT_EQ(RaycastUploads(), uploads);
    EXPECT_EQ(OcclusionComputations(), computed);
    occlusionStrength = 0.2;
    Picture weaker = Draw(RAYCAST);
    EXPECT_EQ(RaycastUploads(), ++uploads);
    EXPECT_EQ(OcclusionComputations(), computed);
    EXPECT_GT(Compare(on, weaker, 51).differing, 100);
}

}  // namespace
