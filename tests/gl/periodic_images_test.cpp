// Periodic images and wrapped bonds in the pictures of all three drawings. Needs a display (the window tests'
// Xvfb); skipped without one.
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

// The scene state these tests change, put back afterwards for the other suites of the process.
class PeriodicPictures : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OpenTestWindow()) GTEST_SKIP() << "no display";
        species = 1;
        shape = {2, 2, 2};
        color = {0.9, 0.2, 0.1};
        bondvec = {0, 0, 0};
        topology.clear();
        solidBonds = false;
        fixedCentre = true;  // positions drawn as they are: the scene's origin is the point (0, 0, 0)
        for (double& c : fixedCentrePoint) c = 0;
        glClearColor(0.2f, 0.2f, 0.2f, 1.0f);
    }
    void TearDown() override {
        fixedCentre = false;
        frameBox.exists = false;
        for (int& count : imageCounts) count = 1;
        wrapIntoBox = false;
        solidBonds = false;
        topology.clear();
        adaptiveDetail = raycastEllipsoids = false;
        atoms = 0;
        geom.clear();
        ++particleDataVersion;
    }
};

void SetAtoms(const std::vector<std::vector<double>>& positions) {
    atoms = static_cast<int>(positions.size());
    geom.clear();
    for (std::size_t i = 0; i < positions.size(); ++i)
        geom.insert(geom.end(), {i + 1.0, 1, positions[i][0], positions[i][1], positions[i][2], 1, 0, 0, 0});
    ++particleDataVersion;
}

void SetBox(const double* origin, const double (*edges)[3]) {
    frameBox.exists = true;
    for (int k = 0; k < 3; ++k) {
        frameBox.origin[k] = origin[k];
        for (int e = 0; e < 3; ++e) frameBox.edges[e][k] = edges[e][k];
    }
}

Picture Draw(Drawing drawing) {
    adaptiveDetail = drawing == ADAPTIVE;
    raycastEllipsoids = drawing == RAYCAST;
    DrawPicture();
    EXPECT_TRUE(drawing != RAYCAST || raycastEllipsoids) << RaycastProblem();
    adaptiveDetail = raycastEllipsoids = false;
    return ReadPicture();
}

// Whether the pixel where the scene point falls differs from the grey background by more than 30 levels.
bool DrawnAt(const Picture& picture, const double* point) {
    double model[16], projection[16], x = 0, y = 0, z = 0;
    int viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(point[0], point[1], point[2], model, projection, viewport, &x, &y, &z);
    std::size_t at = 3 * (static_cast<std::size_t>(y) * window_width + static_cast<std::size_t>(x));
    for (int c = 0; c < 3; ++c)
        if (std::abs(picture[at + c] - 51) > 30) return true;
    return false;
}

// A particle just inside the face at +a shows, with images, just beyond the opposite face (its image at -a) and
// beyond the face at -b; without images, or without a box, nothing is drawn there and the picture is as before.
TEST_F(PeriodicPictures, AParticleNearAFaceAppearsBesideTheOppositeFace) {
    const double orthogonal[3][3] = {{40, 0, 0}, {0, 40, 0}, {0, 0, 40}};
    const double tilted[3][3] = {{40, 0, 0}, {12, 40, 0}, {-6, 8, 40}};
    const double* const edgeSets[2] = {&orthogonal[0][0], &tilted[0][0]};
    for (const double* flat : edgeSets) {
        const double(*edges)[3] = reinterpret_cast<const double(*)[3]>(flat);
        const double origin[3] = {-20 - edges[1][0] / 2, -20, -20};
        SetBox(origin, edges);
        const double particle[3] = {origin[0] + edges[1][0] / 2 + 37, 0, 0};
        SetAtoms({{particle[0], particle[1], particle[2]}});
        const double besideA[3] = {particle[0] - edges[0][0], 0, 0};
        const double besideB[3] = {particle[0] - edges[1][0], -edges[1][1], 0};
        for (Drawing drawing : {TESSELLATED, ADAPTIVE, RAYCAST}) {
            SCOPED_TRACE(std::string(DRAWING_NAMES[drawing]) + (flat == edgeSets[0] ? ", orthogonal" : ", tilted"));
            imageCounts[0] = imageCounts[1] = imageCounts[2] = 1;
            Picture one = Draw(drawing);
            EXPECT_TRUE(DrawnAt(one, particle));
            EXPECT_FALSE(DrawnAt(one, besideA) || DrawnAt(one, besideB));
            imageCounts[0] = imageCounts[1] = 3;
            Picture images = Draw(drawing);
            EXPECT_TRUE(DrawnAt(images, particle) && DrawnAt(images, besideA) && DrawnAt(images, besideB));
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
    const double origin[3] = {-20, -20, -20};
    SetBox(origin, edges);
    shape = {1, 1, 1};
    SetAtoms({{-17, 0, 0}, {17, 0, 0}});
    topology = {1, 2, 1, 1};
    solidBonds = true;
    bondwidth = 0.6;
    const double middle[3] = {0, 0, 0}, outerHalf[3] = {19.5, 0, 0}, beyondFace[3] = {21, 0, 0};
    for (Drawing drawing : {TESSELLATED, RAYCAST}) {
        SCOPED_TRACE(DRAWING_NAMES[drawing]);
        wrapIntoBox = false;
        Picture across = Draw(drawing);
        EXPECT_TRUE(DrawnAt(across, middle));
        EXPECT_FALSE(DrawnAt(across, outerHalf));
        wrapIntoBox = true;
        Picture cut = Draw(drawing);
        EXPECT_FALSE(DrawnAt(cut, middle)) << "a line across the box";
        EXPECT_TRUE(DrawnAt(cut, outerHalf)) << "no half-bond to the face";
        EXPECT_FALSE(DrawnAt(cut, beyondFace)) << "a half-bond beyond the face";
    }
}

}  // namespace
