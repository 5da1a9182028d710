// The program's own 8x13 glyph table draws exactly the pixels of GLUT's 8x13 bitmap font, for every code,
// and moves the raster position by the same amount. Needs a display (the window tests' Xvfb); skipped without one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "render/bitmap_font.h"
#include "render/overlay.h"

namespace {

constexpr int SIZE = 64;

bool UseWindow() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    if (!glutGet(GLUT_INIT_STATE)) {
        int argc = 1;
        char name[] = "bitmap_font_test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    }
    if (glutGetWindow() == 0) {
        glutInitWindowSize(SIZE, SIZE);
        glutCreateWindow("Ovalix font test");
    }
    glViewport(0, 0, SIZE, SIZE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, SIZE, 0, SIZE, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glClearColor(0, 0, 0, 1);
    return true;
}

struct Drawn {
    std::vector<unsigned char> pixels;
    float rasterX;
};

// Two glyphs side by side from a raster position off the pixel grid, so that both the bits and the advance show.
template <typename Draw>
Drawn DrawTwice(Draw draw) {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    glRasterPos2f(10.5f, 20.25f);
    draw();
    draw();
    Drawn drawn{std::vector<unsigned char>(SIZE * SIZE * 3), 0};
    float raster[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
    drawn.rasterX = raster[0];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, SIZE, SIZE, GL_RGB, GL_UNSIGNED_BYTE, drawn.pixels.data());
    return drawn;
}

TEST(DrawFontCharacter, DrawsEveryCodeAsGlutDoes) {
    if (!UseWindow()) GTEST_SKIP() << "no display";
    int lit = 0;
    for (int code = 1; code < 256; ++code) {
        Drawn glut = DrawTwice([code] { glutBitmapCharacter(GLUT_BITMAP_8_BY_13, code); });
        Drawn table = DrawTwice([code] { DrawFontCharacter(fixedFont8x13, static_cast<unsigned char>(code)); });
        EXPECT_EQ(glut.rasterX, table.rasterX) << "advance of code " << code;
        EXPECT_TRUE(glut.pixels == table.pixels) << "pixels of code " << code;
        for (unsigned char v : table.pixels) lit += v != 0;
    }
    EXPECT_GT(lit, 255 * 10) << "the glyphs drew next to nothing: the comparison would prove nothing";
}

TEST(renderBitmapString, DrawsTheOverlayTextAsGlutDoes) {
    if (!UseWindow()) GTEST_SKIP() << "no display";
    const char* text = "Timestep 1234 of 56789";
    Drawn glut = DrawTwice([text] { renderBitmapString(1.5, 20.25, GLUT_BITMAP_8_BY_13, text); });
    Drawn table = DrawTwice([text] {
        renderBitmapString(1.5, 20.25, const_cast<BitmapFont*>(&fixedFont8x13), text);
    });
    EXPECT_EQ(glut.rasterX, table.rasterX);
    EXPECT_TRUE(glut.pixels == table.pixels);
}

}  // namespace
