// Prebuilt shapes draw the same pixels as tessellating every sphere and cylinder anew, and leaving out
// the ellipsoids wholly outside the view draws the same pixels as sending every one.
// Needs a display (the window tests' Xvfb); skipped without one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/scene.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/shapes.h"
#include "tests/gl/gl_window.h"

namespace {

bool OpenWindow() { return OpenTestWindow(); }

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

// The scene drawn with or without leaving out the ellipsoids outside the view; `outside` gets their number.
std::vector<unsigned char> DrawAndReadCulled(bool cull, long long* outside) {
    cullOutsideView = cull;
    std::vector<unsigned char> pixels = DrawAndRead(false);
    *outside = ellipsoidsOutsideView;
    cullOutsideView = true;
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

// Views in which part of the scene lies outside: zoomed in, panned, the eye inside the cloud (ellipsoids
// behind it and across the near plane), the cloud across the far plane, turned and zoomed.
TEST_F(Shapes, EllipsoidsOutsideTheViewAreLeftOutWithTheSamePixels) {
    FillScene(600);
    topology.clear();
    struct View {
        const char* name;
        float move[3];
        float degrees;
    };
    const View views[] = {{"zoomed in", {0, 0, 150}, 0},   {"panned", {150, 40, 0}, 0},
                          {"eye inside", {0, 0, 200}, 0},  {"across the far plane", {0, 0, -180}, 0},
                          {"turned", {0, 0, 120}, 75}};
    for (const View& view : views) {
        glPushMatrix();
        glTranslatef(view.move[0], view.move[1], view.move[2]);
        glRotatef(view.degrees, 0.3f, 1.0f, 0.2f);
        long long outsideAll = -1, outside = -1;
        std::vector<unsigned char> all = DrawAndReadCulled(false, &outsideAll);
        std::vector<unsigned char> culled = DrawAndReadCulled(true, &outside);
        glPopMatrix();
        Difference d = Compare(all, culled);
        EXPECT_EQ(outsideAll, 0) << view.name;
        EXPECT_GT(outside, 30) << view.name;  // the view really leaves part of the scene out
        EXPECT_LT(outside, atoms) << view.name;
        EXPECT_GT(d.drawn, 5000) << view.name;
        EXPECT_EQ(d.pixels, 0) << view.name << ": largest channel difference " << d.largest;
    }
}

// Spheres of radius 2 along the left and right edges of the view, from well inside to just outside:
// those that reach into the window by a sliver must still be drawn.
TEST_F(Shapes, EllipsoidsAtTheEdgeOfTheViewAreDrawn) {
    FillScene(3);
    const double radius = 2.0;  // species 3
    const double slope = std::tan(22.5 * pi / 180) * window_width / window_height;  // half width / distance
    const double edge = 200 * slope;  // half width of the view at the frame centre, 200 from the eye
    const double cosine = 1 / std::sqrt(1 + slope * slope);  // of the angle between the edge plane and x
    const int rows = 41;
    atoms = 2 * rows;
    geom.assign(static_cast<std::size_t>(atoms) * GEOM_STRIDE, 0.0);
    long long beyond = 0, clearlyBeyond = 0;  // spheres wholly beyond the edge plane; by a tenth of the radius
    for (int k = 0; k < rows; ++k) {
        double reach = radius / cosine * (0.5 + 0.025 * k);  // x beyond the edge: wholly past it from radius / cosine on
        if (reach * cosine > radius) beyond += 2;
        if (reach * cosine > 1.1 * radius) clearlyBeyond += 2;
        for (int side = 0; side < 2; ++side) {
            double* row = &geom[static_cast<std::size_t>(2 * k + side) * GEOM_STRIDE];
            row[0] = 2 * k + side + 1;
            row[GEOM_TYPE] = 3;
            row[GEOM_X] = (side == 0 ? 1 : -1) * (edge + reach);
            row[GEOM_X + 1] = -70 + 3.5 * k;
            row[GEOM_QW] = 1;
        }
    }
    long long outsideAll = -1, outside = -1;
    Difference d = Compare(DrawAndReadCulled(false, &outsideAll), DrawAndReadCulled(true, &outside));
    EXPECT_GT(d.drawn, 50);  // slivers of the spheres that reach in
    EXPECT_EQ(d.pixels, 0) << "largest channel difference " << d.largest;
    EXPECT_EQ(outsideAll, 0);
    EXPECT_GE(outside, clearlyBeyond);
    EXPECT_LE(outside, beyond);  // never one that reaches in
}

}  // namespace

// Atoms near the largest double cannot reach OpenGL; the rest of the frame is drawn as without them.
TEST_F(Shapes, AtomsBeyondSinglePrecisionAreLeftOutAndTheRestDrawn) {
    FillScene(3);
    // Three ordinary atoms centred on the origin, so that the far atoms below leave the centre in place.
    for (int i = 0; i < 3; ++i) {
        double* row = &geom[static_cast<std::size_t>(i) * GEOM_STRIDE];
        row[2] = 20.0 * (i - 1);
        row[3] = row[4] = 0;
    }
    topology = {1, 2, 1, 1};
    solidBonds = true;
    std::vector<unsigned char> expected = DrawAndRead(false);
    // Four far atoms in pairs of opposite sign: their mean is 0, but a plain sum of the positions overflows.
    const double far = 1.2e308;
    for (double x : {far, far, -far, -far}) {
        const double row[GEOM_STRIDE] = {static_cast<double>(atoms + 1), 1, x, -x, 0, 1, 0, 0, 0};
        geom.insert(geom.end(), row, row + GEOM_STRIDE);
        ++atoms;
    }
    // Bonds between far atoms, and from an ordinary atom to a far one, would run to infinity: none is drawn.
    topology.insert(topology.end(), {4, 5, 1, 1, 1, 6, 1, 1});
    std::vector<unsigned char> pixels = DrawAndRead(false);
    EXPECT_EQ(ellipsoidsOutsideView, 4);
    Difference d = Compare(expected, pixels);
    EXPECT_GT(d.drawn, 500) << "the ordinary atoms are not drawn";
    EXPECT_EQ(d.pixels, 0);
    solidBonds = false;
}
