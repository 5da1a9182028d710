// Periodic images and bonds across the box in the pictures of all three drawings. Needs a display (the window
// tests' Xvfb); skipped without one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/scene.h"
#include "render/picture.h"
#include "render/raycast.h"
#include "tests/gl/gl_window.h"
#include "tests/gl/pictures.h"

namespace {

enum Drawing { TESSELLATED, ADAPTIVE, RAYCAST };
const char* const DRAWING_NAMES[] = {"tessellated", "adaptive detail", "ray-cast"};

// Spheres of one species at the given points, drawn where they are (a fixed centre at 0), in the given box.
class PeriodicPictures : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OpenTestWindow()) GTEST_SKIP() << "no display";
        species = 1;
        color = {0.9, 0.2, 0.1};
        bondvec = {0, 0, 0};
        fixedCentre = true;
        for (double& c : fixedCentrePoint) c = 0;
        glClearColor(0.2f, 0.2f, 0.2f, 1.0f);
    }
    void TearDown() override {  // the other suites of the process start from the start-up state
        fixedCentre = frameBox.exists = wrapIntoBox = solidBonds = false;
        for (int& count : imageCounts) count = 1;
        topology.clear();
        geom.clear();
        atoms = 0;
        ++particleDataVersion;
    }
    void SetScene(double radius, const std::vector<std::vector<double>>& points, const double (*edges)[3]) {
        shape = {radius, radius, radius};
        atoms = static_cast<int>(points.size());
        geom.clear();
        for (std::size_t i = 0; i < points.size(); ++i)
            geom.insert(geom.end(), {i + 1.0, 1, points[i][0], points[i][1], points[i][2], 1, 0, 0, 0});
        frameBox.exists = true;
        for (int k = 0; k < 3; ++k) {
            frameBox.origin[k] = -20 - (k == 0 ? edges[1][0] / 2 : 0);
            for (int e = 0; e < 3; ++e) frameBox.edges[e][k] = edges[e][k];
        }
        ++particleDataVersion;
    }
};

Picture Draw(Drawing drawing) {
    adaptiveDetail = drawing == ADAPTIVE;
    raycastEllipsoids = drawing == RAYCAST;
    DrawPicture();
    EXPECT_TRUE(drawing != RAYCAST || raycastEllipsoids) << RaycastProblem();
    adaptiveDetail = raycastEllipsoids = false;
    return ReadPicture();
}

// Whether the pixel where the scene point falls differs from the grey background by more than 30 levels.
bool DrawnAt(const Picture& picture, double x, double y) {
    double model[16], projection[16], px = 0, py = 0, pz = 0;
    int viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(x, y, 0, model, projection, viewport, &px, &py, &pz);
    std::size_t at = 3 * (static_cast<std::size_t>(py) * window_width + static_cast<std::size_t>(px));
    return std::abs(picture[at] - 51) > 30 || std::abs(picture[at + 1] - 51) > 30 || std::abs(picture[at + 2] - 51) > 30;
}

// A particle just inside the face at +a shows, with images, just beyond the opposite face (its image at -a) and
// beyond the face at -b; without images, or without a box, nothing is drawn there and the picture is as before.
TEST_F(PeriodicPictures, AParticleNearAFaceAppearsBesideTheOppositeFace) {
    const double orthogonal[3][3] = {{40, 0, 0}, {0, 40, 0}, {0, 0, 40}}, tilted[3][3] = {{40, 0, 0}, {12, 40, 0}, {-6, 8, 40}};
    for (const auto* edges : {orthogonal, tilted}) {
        const double x = 17;  // 3 from the face at +a, whatever the tilt
        SetScene(2, {{x, 0, 0}}, edges);
        for (Drawing drawing : {TESSELLATED, ADAPTIVE, RAYCAST}) {
            SCOPED_TRACE(std::string(DRAWING_NAMES[drawing]) + (edges == tilted ? ", tilted" : ", orthogonal"));
            imageCounts[0] = imageCounts[1] = 1;
            Picture one = Draw(drawing);
            EXPECT_TRUE(DrawnAt(one, x, 0));
            EXPECT_FALSE(DrawnAt(one, x - 40, 0) || DrawnAt(one, x - edges[1][0], -40));
            imageCounts[0] = imageCounts[1] = 3;
            Picture images = Draw(drawing);
            EXPECT_TRUE(DrawnAt(images, x, 0) && DrawnAt(images, x - 40, 0) && DrawnAt(images, x - edges[1][0], -40));
            frameBox.exists = false;
            EXPECT_EQ(Draw(drawing), one) << "images without a box changed the picture";
            frameBox.exists = true;
        }
    }
}

// Wrapped, a bond between particles at the two x faces runs as two half-bonds out through the faces, never across
// the box's middle; unwrapped it is the one line across, as before.
TEST_F(PeriodicPictures, ABondAcrossTheBoxIsCutAtItsFaces) {
    const double edges[3][3] = {{40, 0, 0}, {0, 40, 0}, {0, 0, 40}};
    SetScene(1, {{-17, 0, 0}, {17, 0, 0}}, edges);
    topology = {1, 2, 1, 1};
    solidBonds = true;
    bondwidth = 0.6;
    for (Drawing drawing : {TESSELLATED, RAYCAST}) {
        SCOPED_TRACE(DRAWING_NAMES[drawing]);
        wrapIntoBox = false;
        Picture across = Draw(drawing);
        EXPECT_TRUE(DrawnAt(across, 0, 0) && !DrawnAt(across, 19.5, 0));
        wrapIntoBox = true;
        Picture cut = Draw(drawing);
        EXPECT_FALSE(DrawnAt(cut, 0, 0)) << "a line across the box";
        EXPECT_TRUE(DrawnAt(cut, 19.5, 0)) << "no half-bond to the face";
        EXPECT_FALSE(DrawnAt(cut, 21, 0)) << "a half-bond beyond the face";
    }
}

}  // namespace
