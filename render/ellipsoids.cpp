// Every atom of the frame as a lit, coloured, textured ellipsoid: a unit sphere scaled, turned and moved.
#include "render/ellipsoids.h"

#include <GL/freeglut.h>
#include <iostream>

#include "app/exit_sequence.h"
#include "app/geometry.h"
#include "app/scene.h"
#include "app/scene_gl.h"
#include "render/bonds.h"
#include "render/shapes.h"

// Species numbers are index-checked against both species tables before anything is drawn.
static void SetSpeciesMaterial(int n) {
    const float ambient[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    const float specular[4] = {0.1f, 0.1f, 0.1f, 1.0f};
    float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    for (int k = 0; k < 3; ++k)
        diffuse[k] = static_cast<float>(entry(color, SPECIES_STRIDE * (n - 1LL) + k, "color"));
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT, GL_SHININESS, 0.0f);
}

void CreateEllipsoid(int n, std::vector<double> position, std::vector<double> quaternion, int slices, int stacks) {
    SetSpeciesMaterial(n);
    double degrees = 0, axis[3] = {0, 0, 0};
    QuaternionAxisAngle(quaternion.data(), degrees, axis);
    double half[3];
    for (int k = 0; k < 3; ++k) half[k] = entry(shape, SPECIES_STRIDE * (n - 1LL) + k, "shape");
    if (half[0] == half[1] && half[1] == half[2]) {
        slices /= 2;
        stacks /= 2;
    }
    glPushMatrix();
    glTranslatef(static_cast<float>(position[0]), static_cast<float>(position[1]), static_cast<float>(position[2]));
    if (degrees != 0)
        glRotatef(static_cast<float>(degrees), static_cast<float>(axis[0]), static_cast<float>(axis[1]),
                  static_cast<float>(axis[2]));
    glScalef(static_cast<float>(half[0]), static_cast<float>(half[1]), static_cast<float>(half[2]));
    gluQuadricNormals(q, GLU_SMOOTH);
    gluQuadricTexture(q, GL_TRUE);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, entry(texture, 0, "texture"));
    DrawUnitSphere(slices, stacks);
    glPopMatrix();
}

// The readers reject such types; this guard keeps a broken invariant from drawing garbage.
[[noreturn]] static void ReportBadSpecies(long long atom, double type) {
    std::cout << "Something is seriously wrong. Atom " << atom + 1 << " has the species " << type
              << ", but only species 1 to " << species << " exist." << std::endl;
    ExitSequence();
}

void DoStuff() {
    std::vector<double> centre = average();
    std::vector<double> position(3), quaternion(4);
    for (long long i = 0; i < atoms; ++i) {
        const double* row = GeomRow(i);
        double type = row[GEOM_TYPE];
        if (!(type >= 1 && type < species + 1.0)) ReportBadSpecies(i, type);
        for (int k = 0; k < 3; ++k) position[k] = row[GEOM_X + k] - centre[k];
        for (int k = 0; k < 4; ++k) quaternion[k] = row[GEOM_QW + k];
        CreateEllipsoid(static_cast<int>(type), position, quaternion, 30, 30);
    }
    glPushMatrix();
    for (int j = 0; j < BondCount(); ++j) {
        if (solidBonds) DrawSolidBonds(j, centre);
        else DrawLineBonds(j, centre);
    }
    glPopMatrix();
}
