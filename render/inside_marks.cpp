// The box's edges and the rings of the picks, drawn unlit and untextured after the particles.
#include "render/inside_marks.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>

#include "core/geometry.h"
#include "core/pick.h"
#include "core/scene.h"
#include "core/visibility.h"

// Lines are drawn without lighting and texture; fog stays as the user set it, like on the particles.
static void BeginFlatLines() {
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
}

static void EndFlatLines() {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
}

void BoxLineColour(const float* background, float* rgb) {
    double luminance = 0.2126 * background[0] + 0.7152 * background[1] + 0.0722 * background[2];
    float value = luminance > 0.5 ? 0.12f : 0.88f;
    rgb[0] = rgb[1] = rgb[2] = value;
}

void DrawSimulationBox(const std::vector<double>& centre) {
    if (!showBox || !frameBox.exists) return;
    double corner[8][3];  // corner k = origin + the edges whose bits are set in k
    for (int k = 0; k < 8; ++k)
        for (int c = 0; c < 3; ++c) {
            corner[k][c] = frameBox.origin[c] - centre[c];
            for (int edge = 0; edge < 3; ++edge)
                if (k & (1 << edge)) corner[k][c] += frameBox.edges[edge][c];
        }
    for (const double* point : corner)
        if (!FitsInFloat(point, 3)) return;
    float rgb[3];
    BoxLineColour(BGColor, rgb);
    BeginFlatLines();
    glColor3f(rgb[0], rgb[1], rgb[2]);
    glLineWidth(1.5f);
    glBegin(GL_LINES);
    for (int k = 0; k < 8; ++k)
        for (int edge = 0; edge < 3; ++edge) {
            if (k & (1 << edge)) continue;  // each edge once, from its lower corner
            int other = k | (1 << edge);
            glVertex3d(corner[k][0], corner[k][1], corner[k][2]);
            glVertex3d(corner[other][0], corner[other][1], corner[other][2]);
        }
    glEnd();
    EndFlatLines();
}

// Ring of `radius` round the eye-space point, in the plane facing the eye.
static void DrawRing(const double* eye, double radius, float width, float grey) {
    glLineWidth(width);
    glColor3f(grey, grey, grey);
    glBegin(GL_LINE_LOOP);
    const int segments = 48;
    for (int s = 0; s < segments; ++s) {
        double angle = 2 * pi * s / segments;
        glVertex3d(eye[0] + radius * std::cos(angle), eye[1] + radius * std::sin(angle), eye[2]);
    }
    glEnd();
}

// A ring a little wider than the particle, and never under 8 pixels: tiny atoms stay findable.
static double RingRadius(long long atom, double eyeDepth) {
    const double* row = GeomRow(atom);
    long long n = static_cast<long long>(row[GEOM_TYPE]);
    double largest = 0;
    for (int k = 0; k < 3; ++k) largest = std::max(largest, std::fabs(entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape")));
    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    double perPixel = projection[5] > 0 ? 2 * std::fabs(eyeDepth) / (projection[5] * window_height) : 0;
    return std::max(1.25 * largest, 8 * perPixel);
}

void DrawPickMarks(const std::vector<double>& centre) {
    if (pickedLabels.empty()) return;
    double modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    BeginFlatLines();
    glDisable(GL_DEPTH_TEST);  // the mark shows even behind other particles
    glPushMatrix();
    glLoadIdentity();
    for (double label : pickedLabels) {
        long long atom = AtomOfLabel(label);
        if (atom < 0 || !AtomShown(atom, centre)) continue;
        const double* row = GeomRow(atom);
        double eye[3];
        for (int r = 0; r < 3; ++r) {
            eye[r] = modelview[12 + r];
            for (int c = 0; c < 3; ++c) eye[r] += modelview[4 * c + r] * (row[GEOM_X + c] - centre[c]);
        }
        if (!FitsInFloat(eye, 3) || !(eye[2] < 0)) continue;  // behind the eye
        double radius = RingRadius(atom, eye[2]);
        DrawRing(eye, radius, 5.0f, 0.0f);
        DrawRing(eye, radius, 2.0f, 1.0f);
    }
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
    EndFlatLines();
}
