// Glyphs of the 8 x 13 "fixed" font, drawn with glBitmap under the pixel-store state GLUT uses for its bitmap fonts.
#include "render/bitmap_font.h"

#include <GL/gl.h>
#include <vector>

#include "core/scene.h"

#include "render/font_8x13.inc"

static_assert(sizeof font8x13Glyphs[0] == 15, "BitmapFont rows hold an advance width and 14 cell rows");

const BitmapFont fixedFont8x13 = {FONT_8X13_HEIGHT, FONT_8X13_YORIG, font8x13Glyphs};

namespace {

std::vector<unsigned char> scaledGlyph;  // the last glyph drawn larger, rows from the bottom up

// The glyph's rows (one byte each, width at most 8) with every set bit made a scale x scale block.
const unsigned char* ScaleGlyph(const unsigned char* rows, int width, int height, int scale) {
    const int rowBytes = (width * scale + 7) / 8;
    scaledGlyph.assign(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height * scale), 0);
    for (int row = 0; row < height * scale; ++row)
        for (int column = 0; column < width * scale; ++column)
            if (rows[row / scale] & (0x80 >> (column / scale)))
                entry(scaledGlyph, static_cast<long long>(row) * rowBytes + column / 8, "scaledGlyph") |=
                    static_cast<unsigned char>(0x80 >> (column % 8));
    return scaledGlyph.data();
}

}  // namespace

void DrawFontCharacter(const BitmapFont& font, unsigned char code, int scale) {
    const unsigned char* glyph = font.glyphs[code];
    // NOTE: the caller's unpack state must not shift the rows, and must be left as it was.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (scale > 1)
        glBitmap(glyph[0] * scale, font.height * scale, 0.0f, static_cast<float>(font.yorig * scale),
                 static_cast<float>(glyph[0] * scale), 0.0f, ScaleGlyph(glyph + 1, glyph[0], font.height, scale));
    else
        glBitmap(glyph[0], font.height, 0.0f, static_cast<float>(font.yorig), static_cast<float>(glyph[0]), 0.0f,
                 glyph + 1);
    glPopClientAttrib();
}
