// Ray-cast ellipsoids against adaptive detail, the exact projected outline and the exact depth, and the views
// where a careless ray-caster draws garbage. Needs a display (the window tests' Xvfb); skipped without one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/scene.h"
#include "render/camera.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/raycast.h"
#include "tests/gl/gl_window.h"
#include "tests/gl/pictures.h"
#include "tests/support/random_scene.h"

namespace {

Picture DrawRaycast() {
    raycastEllipsoids = true;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    EXPECT_TRUE(raycastEllipsoids) << "ray-casting switched itself off: " << RaycastProblem();
    raycastEllipsoids = false;
    return ReadPicture();
}

std::vector<float> ReadDepths() {
    std::vector<float> depths(static_cast<std::size_t>(window_width) * window_height);
    glReadPixels(0, 0, window_width, window_height, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
    return depths;
}

// Atoms of one species each, all in the scene tables; positions are not centred here, so give pairs about 0.
void SetAtoms(const std::vector<std::vector<double>>& rows, const std::vector<double>& shapes,
              const std::vector<double>& colours) {
    species = static_cast<int>(shapes.size() / 3);
    shape = shapes;
    color = colours;
    bondvec.assign(shapes.size(), 0.0);
    topology.clear();
    atoms = static_cast<int>(rows.size());
    geom.clear();
    for (const std::vector<double>& row : rows) geom.insert(geom.end(), row.begin(), row.end());
    ++particleDataVersion;
}

// One ellipsoid in the eye frame as this test sees it, from the matrices GL holds: eye = A u + b for u on the
// unit sphere. Independent of the drawing: the rotation comes from the quaternion's own matrix.
struct EyeEllipsoid {
    double inverse[9];  // A^-1, row-major
    double centre[3];   // b
};

EyeEllipsoid EllipsoidInEye(const double* position, const double* quaternion, const double* half) {
    double modelview[16], turn[9], a[9];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    QuaternionMatrix(quaternion, turn);
    EyeEllipsoid e;
    for (int r = 0; r < 3; ++r) {
        e.centre[r] = modelview[12 + r];
        for (int k = 0; k < 3; ++k) e.centre[r] += modelview[4 * k + r] * position[k];
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += modelview[4 * k + r] * turn[3 * k + c];
            a[3 * r + c] = sum * half[c];
        }
    }
    double det = a[0] * (a[4] * a[8] - a[5] * a[7]) - a[1] * (a[3] * a[8] - a[5] * a[6]) +
                 a[2] * (a[3] * a[7] - a[4] * a[6]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            e.inverse[3 * r + c] = (a[3 * r1 + c1] * a[3 * r2 + c2] - a[3 * r1 + c2] * a[3 * r2 + c1]) / det;
        }
    return e;
}

// The eye-space ray through the centre of pixel (x, y), on the plane z = -1.
void PixelRay(int x, int y, double* ray) {
    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    ray[0] = (2.0 * (x + 0.5) / window_width - 1.0) / projection[0];
    ray[1] = (2.0 * (y + 0.5) / window_height - 1.0) / projection[5];
    ray[2] = -1.0;
}

// The silhouette of an ellipsoid seen from the eye is a conic on the image plane: with the point quadric Q of
// the ellipsoid in eye space and the eye E = (0, 0, 0, 1), the ray through X lies inside it where
// (E^T Q X)^2 >= (E^T Q E)(X^T Q X). Here Q = N^T diag(1, 1, 1, -1) N, N the eye-to-body map.
bool InsideSilhouette(const EyeEllipsoid& e, const double* ray) {
    double n[4][4] = {};  // N: body = A^-1 (eye - b)
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) n[r][c] = e.inverse[3 * r + c];
        n[r][3] = -(e.inverse[3 * r] * e.centre[0] + e.inverse[3 * r + 1] * e.centre[1] + e.inverse[3 * r + 2] * e.centre[2]);
    }
    n[3][3] = 1;
    double q[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            q[i][j] = 0;
            for (int k = 0; k < 4; ++k) q[i][j] += (k == 3 ? -1.0 : 1.0) * n[k][i] * n[k][j];
        }
    const double x[4] = {ray[0], ray[1], ray[2], 1.0};
    double eqx = 0, xqx = 0;
    for (int j = 0; j < 4; ++j) {
        eqx += q[3][j] * x[j];
        for (int i = 0; i < 4; ++i) xqx += x[i] * q[i][j] * x[j];
    }
    return eqx * eqx >= q[3][3] * xqx;
}

// Distance along the ray (as a multiple of it) where it enters the ellipsoid; infinity where it misses.
double EnteringDistance(const EyeEllipsoid& e, const double* ray) {
    double o[3], d[3];  // eye and ray in the body frame
    for (int r = 0; r < 3; ++r) {
        o[r] = d[r] = 0;
        for (int k = 0; k < 3; ++k) {
            o[r] -= e.inverse[3 * r + k] * e.centre[k];
            d[r] += e.inverse[3 * r + k] * ray[k];
        }
    }
    double a = d[0] * d[0] + d[1] * d[1] + d[2] * d[2], b = o[0] * d[0] + o[1] * d[1] + o[2] * d[2];
    double c = o[0] * o[0] + o[1] * o[1] + o[2] * o[2] - 1, disc = b * b - a * c;
    if (disc < 0) return INFINITY;
    return (-b - std::sqrt(disc)) / a;
}

// Window depth of the eye-space point at distance t along a ray with z = -1, as the depth buffer holds it.
double WindowDepth(double t) {
    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    double z = -t;
    double ndc = (projection[10] * z + projection[14]) / -z;
    return 0.5 * ndc + 0.5;
}

long CountDrawn(const Picture& picture, unsigned char background) {
    long drawn = 0;
    for (std::size_t p = 0; p + 2 < picture.size(); p += 3)
        if (picture[p] != background || picture[p + 1] != background || picture[p + 2] != background) ++drawn;
    return drawn;
}

class Raycast : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OpenTestWindow()) GTEST_SKIP() << "no display";
        if (!RaycastAvailable()) GTEST_SKIP() << "this context cannot ray-cast: " << RaycastProblem();
    }
    void TearDown() override {
        raycastEllipsoids = false;
        adaptiveDetail = false;
        colourByOrientation = false;
        rotating_light = 1;
        if (texture[0] != 0) glDeleteTextures(1, &texture[0]);
        texture.assign(1, 0);
        glEnable(GL_FOG);
        gp = true;
        glClearColor(BGColor[0], BGColor[1], BGColor[2], BGColor[3]);
        Reshape(1024, 640);
        ReanchorLights();
    }
};

// The benchmark's 10,000 ellipsoids, whole view, against adaptive detail: as the program starts, deep in the fog
// and partly beyond the far plane, without fog, with the lights fixed to the eye in a turned view, textured,
// and in orientation colours.
TEST_F(Raycast, WholeViewLooksLikeAdaptiveDetail) {
    SetBackground(1.0f);
    FillRandomScene(10000);
    const char* variants[] = {"start-up", "in the fog", "fog off", "lights fixed to the eye", "textured", "orientation colours"};
    for (int v = 0; v < 6; ++v) {
        std::string name = variants[v];
        glPushMatrix();
        if (name == "in the fog") glTranslatef(0.0f, 0.0f, -175.0f);
        if (name == "fog off") {
            glDisable(GL_FOG);
            glTranslatef(0.0f, 0.0f, -175.0f);
        }
        if (name == "lights fixed to the eye") {
            glRotatef(70.0f, 0.3f, 1.0f, 0.2f);
            rotating_light = 0;
            ReanchorLights();
        }
        if (name == "textured") texture[0] = MakeTexture();
        if (name == "orientation colours") colourByOrientation = orderFrameChanged = true;
        Picture adaptive = DrawScene(true), raycast = DrawRaycast();
        glPopMatrix();
        glEnable(GL_FOG);
        rotating_light = 1;
        ReanchorLights();
        colourByOrientation = false;
        Comparison c = Compare(adaptive, raycast, 255);
        EXPECT_GT(c.drawn, name == "in the fog" || name == "fog off" ? 20000 : 100000) << name;
        // Textures and the brighter viridis colours show adaptive detail's coarse levels (8 x 8 below 6 pixels)
        // more: there the ray-cast is the exact one (the 400-pixel test holds it to the fine tessellation).
        bool coarseShows = name == "textured" || name == "orientation colours";
        EXPECT_LE(c.meanDifference, coarseShows ? 3.5 : 3.0) << name;
        EXPECT_GE(c.blurredWithin24, 0.98) << name;
        std::printf("whole view, %s: mean difference %.2f levels, %.2f %% of blurred pixels within 24\n", name.c_str(),
                    c.meanDifference, 100 * c.blurredWithin24);
    }
}

// One ellipsoid 400 pixels long, turned: the pixels drawn are those inside the exact silhouette conic, and fewer
// differ from it than with the finest tessellation adaptive detail uses (128 x 64).
TEST_F(Raycast, OutlineIsTheExactProjectedEllipse) {
    SetBackground(0.2f);
    const double turned = std::sqrt(0.5);
    std::vector<double> row = {1, 1, 0, 0, 0, turned, 0, 0.3 * turned, 0.95 * turned};
    double length = std::sqrt(row[5] * row[5] + row[6] * row[6] + row[7] * row[7] + row[8] * row[8]);
    for (int k = 5; k < 9; ++k) row[k] /= length;  // a unit quaternion, so that its matrix is the drawn rotation
    for (double shift : {0.0, 40.0}) {  // in the middle, and off to the side where perspective stretches it
        row[2] = shift;
        row[3] = -shift / 2;
        SetAtoms({row, {2, 2, -row[2], -row[3], -row[4], 1, 0, 0, 0}}, {52.0, 21.0, 16.0, 1e-9, 1e-9, 1e-9},
                 {0.85, 0.6, 0.3, 0, 0, 0});  // a vanishing second atom keeps the first at its place after centring
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        CreateEllipsoid(1, {row[2], row[3], row[4]}, {row[5], row[6], row[7], row[8]}, 128, 64);
        Picture fine = ReadPicture(), raycast = DrawRaycast();
        double position[3] = {row[2], row[3], row[4]}, half[3] = {52.0, 21.0, 16.0};
        EyeEllipsoid e = EllipsoidInEye(position, &row[5], half);
        long inside = 0, raycastWrong = 0, fineWrong = 0;
        for (int y = 0; y < window_height; ++y)
            for (int x = 0; x < window_width; ++x) {
                double ray[3];
                PixelRay(x, y, ray);
                bool exact = InsideSilhouette(e, ray);
                std::size_t p = 3 * (static_cast<std::size_t>(y) * window_width + x);
                inside += exact;
                raycastWrong += exact != (raycast[p] != 51 || raycast[p + 1] != 51 || raycast[p + 2] != 51);
                fineWrong += exact != (fine[p] != 51 || fine[p + 1] != 51 || fine[p + 2] != 51);
            }
        EXPECT_GT(inside, 40000) << "shift " << shift;
        EXPECT_LT(raycastWrong, fineWrong) << "shift " << shift;
        EXPECT_LE(raycastWrong, 8) << "shift " << shift;
        texture[0] = MakeTexture();  // the same picture with the texture: gluSphere's mapping
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        CreateEllipsoid(1, {row[2], row[3], row[4]}, {row[5], row[6], row[7], row[8]}, 128, 64);
        Picture fineTextured = ReadPicture(), raycastTextured = DrawRaycast();
        glDeleteTextures(1, &texture[0]);
        texture[0] = 0;
        Comparison textured = Compare(fineTextured, raycastTextured, 51);
        EXPECT_LE(textured.meanDifference, 1.0) << "shift " << shift;
        EXPECT_GE(textured.blurredWithin24, 0.995) << "shift " << shift;
        std::printf("400-pixel ellipsoid, textured, against 128 x 64: mean difference %.2f, blurred within 24 %.2f %%\n",
                    textured.meanDifference, 100 * textured.blurredWithin24);
        std::printf("400-pixel ellipsoid, shift %g: %ld pixels inside the silhouette; ray-cast %ld wrong, 128 x 64 %ld\n",
                    shift, inside, raycastWrong, fineWrong);
    }
}

// Two interpenetrating ellipsoids, red and blue: every pixel's depth is the analytic entering depth of the nearer
// one, and its colour says which one that is, so the intersection curve lies where it really is.
TEST_F(Raycast, IntersectionCurveLiesAtTheAnalyticDepth) {
    SetBackground(0.0f);
    const double c = std::cos(0.3), s = std::sin(0.3);
    std::vector<double> red = {1, 1, -6, 1, 2, c, 0, 0, s}, blue = {2, 2, 6, -1, -2, c, 0, s, 0};
    SetAtoms({red, blue}, {30, 12, 9, 25, 14, 10}, {1, 0, 0, 0, 0, 1});
    Picture picture = DrawRaycast();
    std::vector<float> depths = ReadDepths();
    EyeEllipsoid e[2] = {EllipsoidInEye(&red[2], &red[5], &shape[0]), EllipsoidInEye(&blue[2], &blue[5], &shape[3])};
    long covered = 0, wrongSide = 0, nearCurve = 0;
    double worstDepth = 0;
    for (int y = 0; y < window_height; ++y)
        for (int x = 0; x < window_width; ++x) {
            double ray[3];
            PixelRay(x, y, ray);
            double t[2] = {EnteringDistance(e[0], ray), EnteringDistance(e[1], ray)};
            std::size_t p = static_cast<std::size_t>(y) * window_width + x;
            bool drawn = picture[3 * p] != 0 || picture[3 * p + 2] != 0;
            if (!std::isfinite(std::min(t[0], t[1]))) {
                EXPECT_FALSE(drawn) << "pixel " << x << ", " << y;
                continue;
            }
            ++covered;
            int nearer = t[0] < t[1] ? 0 : 1;
            worstDepth = std::max(worstDepth, std::fabs(depths[p] - WindowDepth(t[nearer])));
            int redness = picture[3 * p] - picture[3 * p + 2];  // both share the white ambient part
            if (std::fabs(t[0] - t[1]) < 0.05) ++nearCurve;  // within 0.05 units of the curve: either may win
            else if (std::abs(redness) > 4 && (redness > 0) != (nearer == 0)) ++wrongSide;
        }
    EXPECT_GT(covered, 20000);
    EXPECT_GT(nearCurve, 10) << "the ellipsoids do not meet";
    EXPECT_EQ(wrongSide, 0);
    EXPECT_LT(worstDepth, 2e-6);  // window depth here changes by 4e-5 per scene unit
    std::printf("two ellipsoids: %ld pixels, worst depth error %.2g, %ld pixels within 0.05 of the curve\n", covered,
                worstDepth, nearCurve);
}

// Views where a ray-caster may divide by zero or lose its bound: nothing drawn, or what the fine tessellation draws.
TEST_F(Raycast, AwkwardEllipsoidsDrawWhatTheyShouldOrNothing) {
    SetBackground(0.2f);
    // A vanishing second atom opposite the first keeps the first at its place after centring.
    auto alone = [](const std::vector<double>& half, double z, double x) {
        SetAtoms({{1, 1, x, 0, z, 1, 0, 0, 0}, {2, 2, -x, 0, -z, 1, 0, 0, 0}}, {half[0], half[1], half[2], 1e-9, 1e-9, 1e-9},
                 {0.9, 0.8, 0.2, 0, 0, 0});
    };
    struct Case {
        const char* name;
        std::vector<double> half;
        double z, x;
        bool nothing;
    };
    // The eye is at z = 200, the near plane at 199.
    const Case cases[] = {
        {"half radius 0", {0, 5, 5}, 10, 0, true},
        {"tiny", {1e-30, 1e-30, 1e-30}, 10, 0, true},
        {"huge, around the eye", {1e30, 1e30, 1e30}, 10, 0, true},
        {"behind the eye", {5, 5, 5}, 210, 0, true},
        {"across the near plane", {4, 3, 9.05}, 190, 0, false},
        {"across the eye plane", {1.5, 2, 60}, 200, 2.5, false},
        {"large, filling the view", {400, 300, 20}, -40, 0, false},
    };
    for (const Case& k : cases) {
        alone(k.half, k.z, k.x);
        Picture raycast = DrawRaycast();
        long drawn = CountDrawn(raycast, 51);
        if (k.nothing) {
            EXPECT_EQ(drawn, 0) << k.name;
            continue;
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        CreateEllipsoid(1, {k.x, 0, k.z}, {1, 0, 0, 0}, 128, 64);
        Picture fine = ReadPicture();
        Comparison c = Compare(fine, raycast, 51);
        EXPECT_GT(c.drawn, 50) << k.name;
        EXPECT_GE(c.blurredWithin24, 0.98) << k.name;  // close to the eye a 128 x 64 facet spans many pixels
        EXPECT_LE(c.meanDifference, 3.0) << k.name;
        std::printf("%s: %ld pixels, mean difference to 128 x 64 %.2f\n", k.name, drawn, c.meanDifference);
    }
    FillRandomScene(500);  // a 1 x 1 window, then no atoms: nothing fails, and the next frame is as before
    Picture before = DrawRaycast();
    Reshape(1, 1);
    DrawRaycast();
    Reshape(1024, 640);
    atoms = 0;
    geom.clear();
    ++particleDataVersion;
    EXPECT_EQ(CountDrawn(DrawRaycast(), 51), 0);
    FillRandomScene(500);
    EXPECT_EQ(Compare(before, DrawRaycast(), 51).differing, 0);
}

// A million ellipsoids are drawn in batches, each fenced, so that a software renderer keeps a few batches in
// memory instead of the frame; the picture is that of one call, pixel for pixel, whatever the batch size.
TEST_F(Raycast, BatchesDrawThePictureOfOneCall) {
    FillRandomScene(40000);
    long long usual = SetRaycastBatch(1LL << 40);
    Picture whole = DrawRaycast();
    for (long long batch : {usual, 7001LL, 40000LL, 39999LL}) {
        SetRaycastBatch(batch);
        EXPECT_EQ(Compare(whole, DrawRaycast(), 0).differing, 0) << batch << " ellipsoids a batch";
    }
    SetRaycastBatch(usual);
    EXPECT_GT(CountDrawn(whole, 51), 100000);
}

// The records go to the GPU when the frame, the species tables or the colouring change, not on every redraw.
TEST_F(Raycast, RecordsGoToTheGpuOncePerFrame) {
    FillRandomScene(2000);
    DrawRaycast();
    long long uploads = RaycastUploads();
    Picture first = DrawRaycast();
    DrawRaycast();
    EXPECT_EQ(RaycastUploads(), uploads);
    ++particleDataVersion;  // a frame read
    DrawRaycast();
    EXPECT_EQ(RaycastUploads(), ++uploads);
    color[0] = 0.1;  // a reload with other colours
    Picture recoloured = DrawRaycast();
    EXPECT_EQ(RaycastUploads(), ++uploads);
    EXPECT_GT(Compare(first, recoloured, 51).differing, 1000);
    colourByOrientation = orderFrameChanged = true;
    DrawRaycast();
    EXPECT_EQ(RaycastUploads(), ++uploads);
}

}  // namespace
