// Glyphs of the 8 x 13 "fixed" font, drawn with glBitmap under the pixel-store state GLUT uses for its bitmap fonts.
#include "render/bitmap_font.h"

#include <GL/gl.h>

#include "render/font_8x13.inc"

static_assert(sizeof font8x13Glyphs[0] == 15, "BitmapFont rows hold an advance width and 14 cell rows");

const BitmapFont fixedFont8x13 = {FONT_8X13_HEIGHT, FONT_8X13_YORIG, font8x13Glyphs};

void DrawFontCharacter(const BitmapFont& font, unsigned char code) {
    const unsigned char* glyph = font.glyphs[code];
    // NOTE: the caller's unpack state must not shift the rows, and must be left as it was.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBitmap(glyph[0], font.height, 0.0f, static_cast<float>(font.yorig), static_cast<float>(glyph[0]), 0.0f,
             glyph + 1);
    glPopClientAttrib();
}
