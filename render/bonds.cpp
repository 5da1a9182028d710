// Bonds drawn between the rotated bond origins of their two atoms.
#include "render/bonds.h"

#include <GL/freeglut.h>
#include <cmath>

#include "core/geometry.h"
#include "core/scene.h"
#include "core/wrap.h"
#include "render/shapes.h"

// End points of bond j: end A (atom, origin in entries 0 and 2), end B (entries 1 and 3); the atoms are found
// in the frame by BondAtomRow (a row, or a label where the frame's labels are not its rows).
static void BondEnds(int j, const std::vector<double>& centre, double* endA, double* endB) {
    long long row = static_cast<long long>(j) * TOPOLOGY_STRIDE;
    BondEndPoint(BondAtomRow(j, 0) + 1, entry(topology, row + 2, "topology"), centre, endA);
    BondEndPoint(BondAtomRow(j, 1) + 1, entry(topology, row + 3, "topology"), centre, endB);
}

// One line from b to a, lit with the bond's diffuse colour.
static void DrawLineSegment(const double* a, const double* b) {
    if (!FitsInFloat(a, 3) || !FitsInFloat(b, 3)) return;  // an end beyond single precision cannot be drawn
    const float diffuse[4] = {0.61f, 0.51f, 0.51f, 1.0f};
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glLineWidth(1.8f);
    glColor3f(0.61f, 0.51f, 0.51f);
    glBegin(GL_LINES);
    glVertex3f(static_cast<float>(b[0]), static_cast<float>(b[1]), static_cast<float>(b[2]));
    glVertex3f(static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2]));
    glEnd();
}

void DrawLineBonds(int j, std::vector<double> centre) {
    if (geom.empty()) return;
    double a[3], b[3], pieces[2][2][3];
    BondEnds(j, centre, a, b);
    int count = BondPieces(a, b, centre, pieces);  // two half-bonds where it crosses the box's faces
    for (int k = 0; k < count; ++k) DrawLineSegment(pieces[k][0], pieces[k][1]);
}

// One five-sided cylinder from a to b.
static void DrawSolidSegment(const double* a, const double* b) {
    double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    double lengthXY = std::sqrt(d[0] * d[0] + d[1] * d[1]);
    // NOTE: a bond of length 0 has no direction (and would give NaN angles); nothing is drawn for it.
    if (!(length > 0) || !FitsInFloat(&length, 1) || !FitsInFloat(a, 3)) return;

    glPushMatrix();
    gluQuadricNormals(q, GLU_SMOOTH);
    gluQuadricTexture(q, GL_FALSE);
    glColor3f(1.0f, 1.0f, 1.0f);
    const float ambient[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    const float diffuse[4] = {0.81f, 0.71f, 0.71f, 1.0f};
    const float specular[4] = {0.1f, 0.1f, 0.1f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT, GL_SHININESS, 0.0f);
    glTranslatef(static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2]));
    double sign = d[1] < 0 ? -1.0 : 1.0;
    // A bond along z has no azimuth: 0 keeps it visible.
    double azimuth = lengthXY > 0 ? sign * std::acos(std::fmax(-1.0, std::fmin(1.0, d[0] / lengthXY))) * 180 / pi : 0.0;
    double tilt = std::acos(std::fmax(-1.0, std::fmin(1.0, d[2] / length))) * 180 / pi;
    glRotatef(static_cast<float>(azimuth), 0.0f, 0.0f, 1.0f);
    glRotatef(static_cast<float>(tilt), 0.0f, 1.0f, 0.0f);
    gluQuadricNormals(q, GLU_SMOOTH);
    bool textured = texture.size() == 2;
    if (textured) {
        gluQuadricTexture(q, GL_TRUE);
        glBindTexture(GL_TEXTURE_2D, texture[1]);
    }
    DrawBondCylinder(bondwidth, length, textured);
    glPopMatrix();
}

void DrawSolidBonds(int j, std::vector<double> centre) {
    if (geom.empty()) return;
    double a[3], b[3], pieces[2][2][3];
    BondEnds(j, centre, a, b);
    int count = BondPieces(a, b, centre, pieces);  // two half-bonds where it crosses the box's faces
    for (int k = 0; k < count; ++k) DrawSolidSegment(pieces[k][0], pieces[k][1]);
}
