// Prebuilt shapes draw the same pixels as tessellating every sphere and cylinder anew.
// Needs a display (the window tests' Xvfb); skipped without one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "app/scene.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/shapes.h"

namespace {

bool windowOpen = false;

bool OpenWindow() {
    if (windowOpen) return true;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    int argc = 1;
    char name[] = "shapes_test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    glutCreateWindow("Ovalix shapes test");
    BGColor[0] = BGColor[1] = BGColor[2] = 0.2f;
    BGColor[3] = 1.0f;
    MyGLInit();
    Reshape(window_width, window_height);
    windowOpen = true;
    return true;
}

// Ellipsoids of three species (the third a sphere, drawn with fewer subdivisions), chained by bonds.
void FillScene(int count) {
    species = 3;
    shape = {4.0, 1.5, 1.5, 2.0, 2.5, 1.0, 2.0, 2.0, 2.0};
    color = {0.85, 0.2, 0.15, 0.15, 0.45, 0.85, 0.9, 0.8, 0.1};
    bondvec = {-4, 0, 0, -2, 0, 0, 0, 0, 0, 4, 0, 0, 2, 0, 0, 0, 0, 0};
    atoms = count;
    geom.assign(static_cast<std::size_t>(count) * GEOM_STRIDE, 0.0);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> box(-50.0, 50.0), unit(-1.0, 1.0);
    topology.clear();
    for (int i = 0; i < count; ++i) {
        double* row = &geom[static_cast<std::size_t>(i) * GEOM_STRIDE];
        row[0] = i + 1;
        row[1] = 1 + i % 3;
        for (int k = 2; k < 5; ++k) row[k] = box(random) * (k == 2 ? 1.0 : 0.6);
        double q[4] = {unit(random), unit(random), unit(random), unit(random)};
        double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (int k = 0; k < 4; ++k) row[5 + k] = q[k] / norm;
        if (i > 0) topology.insert(topology.end(), {i, i + 1, 2, 1});
    }
}

std::vector<unsigned char> DrawAndRead(bool tessellate) {
    tessellateEachShape = tessellate;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    glFinish();
    std::vector<unsigned char> pixels(static_cast<std::size_t>(window_width) * window_height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, window_width, window_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    tessellateEachShape = false;
    return pixels;
}

struct Difference {
    long pixels = 0;  // pixels whose colour differs at all
    int largest = 0;  // largest difference of one channel
    long drawn = 0;   // pixels that are not background
};

Difference Compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    Difference d;
    for (std::size_t p = 0; p + 2 < a.size(); p += 3) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[p + c] - b[p + c]));
        if (worst > 0) ++d.pixels;
        d.largest = std::max(d.largest, worst);
        if (a[p] != 51 || a[p + 1] != 51 || a[p + 2] != 51) ++d.drawn;
    }
    return d;
}

class Shapes : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OpenWindow()) GTEST_SKIP() << "no display";
    }
};

TEST_F(Shapes, EllipsoidsAreIdenticalToFreshTessellation) {
    FillScene(300);
    topology.clear();
    Difference d = Compare(DrawAndRead(true), DrawAndRead(false));
    EXPECT_GT(d.drawn, 20000);  // the scene really covers part of the window
    EXPECT_EQ(d.pixels, 0) << "largest channel difference " << d.largest;
}

TEST_F(Shapes, SolidBondsMatchFreshTessellation) {
    FillScene(300);
    solidBonds = true;
    bondwidth = 0.6;
    Difference d = Compare(DrawAndRead(true), DrawAndRead(false));
    EXPECT_GT(d.drawn, 20000);
    // A scaled unit cylinder rounds its vertices differently in the last bit; allow a few edge pixels.
    EXPECT_LE(d.pixels, d.drawn / 1000) << "largest channel difference " << d.largest;
}

TEST_F(Shapes, ListsSurviveManyRedraws) {
    FillScene(50);
    std::vector<unsigned char> first = DrawAndRead(false);
    for (int i = 0; i < 3; ++i) DrawAndRead(false);
    EXPECT_EQ(Compare(first, DrawAndRead(false)).pixels, 0);
}

}  // namespace
