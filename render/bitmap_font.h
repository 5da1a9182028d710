// The overlay's 8 x 13 bitmap font drawn without GLUT, glyph for glyph and pixel for pixel as GLUT draws it.
#pragma once

struct BitmapFont {
    int height;                       // rows of every glyph cell
    int yorig;                        // rows of the cell below the baseline
    const unsigned char (*glyphs)[15];  // per code: advance width, then the rows from the bottom up
};

extern const BitmapFont fixedFont8x13;  // xfonts-base's public-domain 8x13 "fixed", ISO 8859-1

// One glyph at the raster position, which advances; scale > 1 draws each of its pixels as a scale x scale block.
void DrawFontCharacter(const BitmapFont& font, unsigned char code, int scale = 1);
