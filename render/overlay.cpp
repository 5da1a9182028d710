// "Timestep <frame> of <last>" in the lower-left corner, drawn over the scene.
#include "render/overlay.h"

#include <GL/freeglut.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/derived_quantities.h"
#include "core/local_order.h"
#include "core/order.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "render/bitmap_font.h"
#include "render/gl_setup.h"

void renderBitmapString(double x, double y, void* font, const char* text) {
    glRasterPos2f(static_cast<float>(x), static_cast<float>(y));
    // Without a window system there is no GLUT font: the same glyphs come from the program's own table.
    if (font == nullptr || font == &fixedFont8x13) {
        for (const char* c = text; *c != '\0'; ++c)
            DrawFontCharacter(fixedFont8x13, static_cast<unsigned char>(*c), overlayScale);
        return;
    }
    for (const char* c = text; *c != '\0'; ++c) glutBitmapCharacter(font, *c);
}

namespace {

// The overlay's text: its distance from the left and bottom edges, and from one line to the next.
constexpr int TEXT_MARGIN = 20;
constexpr int LINE_SPACING = 20;

int Scaled(int size) { return size * overlayScale; }  // a size of the overlay in the picture's pixels

bool DomainColoursShown() {
    return colourQuantity != SPECIES_COLOURS && colourQuantity < QuantityCount() && QuantityName(colourQuantity) == "domain";
}

// The line above the time step: S in orientation colours with the domains and the smectic layers, S and the
// domains in domain colours; empty otherwise.
std::string OrderOverlayLine() {
    const bool domains = DomainColoursShown();
    if (!(colourByOrientation && frameOrder.exists) && !domains) return "";
    const OrderParameter order = colourByOrientation ? frameOrder : FrameOrder();
    if (!order.exists) return "";
    char text[64];
    std::snprintf(text, sizeof text, "S = %.4f", order.S);
    std::string line = std::string(text) + ", " + DomainSummary(FrameLocalOrder());
    if (colourByOrientation) line += ", " + SmecticSummary(FrameSmectic());
    return line;
}

}  // namespace

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
    renderBitmapString(Scaled(TEXT_MARGIN), window_height - Scaled(TEXT_MARGIN), bitfont, text);
    const std::string orderLine = OrderOverlayLine();
    if (!orderLine.empty())
        renderBitmapString(Scaled(TEXT_MARGIN), window_height - Scaled(TEXT_MARGIN + LINE_SPACING), bitfont,
                           orderLine.c_str());  // the line above the time step
    glPopMatrix();
    resetPerspectiveProjection();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
}

namespace {

// The colour bar's place, in window pixels from the top right corner, and the font's glyph size;
// each is drawn Scaled in a tall offscreen picture.
constexpr int BAR_RIGHT_MARGIN = 12;
constexpr int BAR_WIDTH = 16;
constexpr int BAR_TOP = 36;            // below the name
constexpr int BAR_BOTTOM_MARGIN = 36;  // above the lower end's room
constexpr int BAR_LONGEST = 320;
constexpr int BAR_STEPS = 64;
constexpr int GLYPH_WIDTH = 8;
constexpr int GLYPH_HEIGHT = 13;
constexpr int NAME_RAISE = 8;      // the name's baseline above the bar
constexpr int LABEL_GAP = 4;       // between a range label and the bar
constexpr int TOP_LABEL_DROP = GLYPH_HEIGHT - 2;  // the upper label's baseline below the bar's top
constexpr float TEXT_GREY = 0.4f;  // the time-step overlay's grey

// Text whose right end is at x; y is the baseline, counted from the top.
void RightAlignedText(int x, int y, const std::string& text) {
    renderBitmapString(x - Scaled(GLYPH_WIDTH) * static_cast<int>(text.size()), y, bitfont, text.c_str());
}

// The bar itself: viridis from the low end at the bottom to the high end at the top.
void DrawBarColours(int left, int top, int bottom) {
    glBegin(GL_QUAD_STRIP);
    for (int step = 0; step <= BAR_STEPS; ++step) {
        float rgb[3];
        Viridis(static_cast<double>(step) / BAR_STEPS, rgb);
        glColor3fv(rgb);
        const float y = static_cast<float>(bottom - (bottom - top) * step / static_cast<double>(BAR_STEPS));
        glVertex2f(static_cast<float>(left), y);
        glVertex2f(static_cast<float>(left + Scaled(BAR_WIDTH)), y);
    }
    glEnd();
}

// Small triangles beyond the bar's ends, in the end colours, where the frame shown has values past them:
// the colours there are clamped to the ends. A frame within the range gets none.
void DrawRangeMarks(int left, int width, int top, int bottom) {
    bool below = false, above = false;
    FrameBeyondRange(below, above);
    if (!below && !above) return;
    const float x0 = static_cast<float>(left), x1 = static_cast<float>(left + width);
    // Sized by the bar's width, so that a bar drawn larger gets marks to match.
    const float middle = (x0 + x1) / 2, height = static_cast<float>(width) * 3 / 8;
    const float gap = static_cast<float>(width) / 16;
    float rgb[3];
    glBegin(GL_TRIANGLES);
    if (above) {
        Viridis(1, rgb);
        glColor3fv(rgb);
        glVertex2f(x0, static_cast<float>(top) - gap);
        glVertex2f(x1, static_cast<float>(top) - gap);
        glVertex2f(middle, static_cast<float>(top) - gap - height);
    }
    if (below) {
        Viridis(0, rgb);
        glColor3fv(rgb);
        glVertex2f(x0, static_cast<float>(bottom) + gap);
        glVertex2f(x1, static_cast<float>(bottom) + gap);
        glVertex2f(middle, static_cast<float>(bottom) + gap + height);
    }
    glEnd();
}

constexpr int LEGEND_ROWS = 8;  // domains listed by a categorical bar, the largest first

// A categorical quantity's legend in place of the bar: a swatch and the size of each of the largest domains,
// and the particles in none (grey).
void DrawDomainLegend(int right, int top) {
    const FrameAnalysis& analysis = FrameLocalOrder();
    std::vector<std::string> rows;
    std::vector<double> numbers;
    for (std::size_t k = 0; k < analysis.domainSizes.size() && k < LEGEND_ROWS; ++k) {
        rows.push_back(std::to_string(k + 1) + ": " + std::to_string(analysis.domainSizes[k]));
        numbers.push_back(static_cast<double>(k + 1));
    }
    long long numbered = 0;
    for (long long size : analysis.domainSizes) numbered += size;
    if (analysis.domainSizes.size() > LEGEND_ROWS)
        rows.push_back("+" + std::to_string(analysis.domainSizes.size() - LEGEND_ROWS) + " more"), numbers.push_back(-1);
    rows.push_back("none: " + std::to_string(static_cast<long long>(atoms) - numbered)), numbers.push_back(0);
    const int swatch = Scaled(GLYPH_HEIGHT - 3), left = right - swatch;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const int baseline = top + Scaled(GLYPH_HEIGHT) + static_cast<int>(k) * Scaled(LINE_SPACING - 4);
        if (numbers[k] >= 0) {
            float rgb[3];
            CategoryColour(numbers[k], rgb);
            glColor3fv(rgb);
            glRecti(left, baseline - swatch, right, baseline);
        }
        glColor3f(TEXT_GREY, TEXT_GREY, TEXT_GREY);
        RightAlignedText(left - Scaled(LABEL_GAP), baseline, rows[k]);
    }
}

}  // namespace

void DrawColourBar() {
    if (colourQuantity == SPECIES_COLOURS || colourQuantity >= QuantityCount()) return;
    const bool categorical = QuantityCategorical(colourQuantity);
    const int top = Scaled(BAR_TOP), right = window_width - Scaled(BAR_RIGHT_MARGIN);
    int bottom = window_height - Scaled(BAR_BOTTOM_MARGIN);
    if (bottom - top > Scaled(BAR_LONGEST)) bottom = top + Scaled(BAR_LONGEST);
    if (bottom - top < Scaled(GLYPH_HEIGHT) && !categorical) return;  // no room in a window this low
    const int left = right - Scaled(BAR_WIDTH);
    std::string range = RangeText(quantityLow, quantityHigh);
    const std::size_t to = range.find(" to ");
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);  // the flipped projection turns the strip's faces away
    setOrthographicProjection();
    glPushMatrix();
    glLoadIdentity();
    if (categorical) {
        DrawDomainLegend(right, top);
    } else {
        DrawBarColours(left, top, bottom);
        DrawRangeMarks(left, Scaled(BAR_WIDTH), top, bottom);
    }
    glColor3f(TEXT_GREY, TEXT_GREY, TEXT_GREY);
    RightAlignedText(right, top - Scaled(NAME_RAISE), QuantityName(colourQuantity));
    if (!categorical) {
        RightAlignedText(left - Scaled(LABEL_GAP), top + Scaled(TOP_LABEL_DROP), range.substr(to + 4));
        RightAlignedText(left - Scaled(LABEL_GAP), bottom, range.substr(0, to));
    }
    glPopMatrix();
    resetPerspectiveProjection();
    glPopAttrib();
}
