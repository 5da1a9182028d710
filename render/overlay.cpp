// "Timestep <frame> of <last>" in the lower-left corner, drawn over the scene.
#include "render/overlay.h"

#include <GL/freeglut.h>
#include <cstdio>

#include "core/order.h"
#include "core/scene.h"
#include "render/bitmap_font.h"
#include "render/gl_setup.h"

void renderBitmapString(double x, double y, void* font, const char* text) {
    glRasterPos2f(static_cast<float>(x), static_cast<float>(y));
    // Without a window system there is no GLUT font: the same glyphs come from the program's own table.
    if (font == nullptr || font == &fixedFont8x13) {
        for (const char* c = text; *c != '\0'; ++c) DrawFontCharacter(fixedFont8x13, static_cast<unsigned char>(*c));
        return;
    }
    for (const char* c = text; *c != '\0'; ++c) glutBitmapCharacter(font, *c);
}

void ShowTimeStep() {
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    setOrthographicProjection();
    glPushMatrix();
    glLoadIdentity();
    char text[64];
    std::snprintf(text, sizeof text, "Timestep %i of %i", frame, FrameCount() - 1);
    // With both lights off, the text's colour is this ambient reflectance times the scene ambient (0.2): grey 0.4.
    const float ambient[4] = {2.0f, 2.0f, 2.0f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glColor3f(2.0f, 2.0f, 2.0f);
    renderBitmapString(20, window_height - 20, bitfont, text);
    if (colourByOrientation && frameOrder.exists) {
        std::snprintf(text, sizeof text, "S = %.4f", frameOrder.S);
        renderBitmapString(20, window_height - 40, bitfont, text);  // the line above the time step
    }
    glPopMatrix();
    resetPerspectiveProjection();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
}
