// Prebuilt display lists of the shapes every redraw draws thousands of times.
// A list records exactly the vertices, normals and texture coordinates that GLU would send again.
#include "render/shapes.h"

#include <GL/freeglut.h>
#include <vector>

#include "app/scene_gl.h"

bool tessellateEachShape = false;

namespace {

constexpr int CYLINDER_SUBDIVISIONS = 5;

// One compiled shape: a sphere of given subdivisions, or the unit cylinder with or without texture coordinates.
struct ShapeList {
    int slices;
    int stacks;
    bool textured;
    GLuint list;
};
std::vector<ShapeList> compiled;
constexpr int CYLINDER = -1;  // slices value that marks the cylinder entries

GLuint FindList(int slices, int stacks, bool textured) {
    for (const ShapeList& shape : compiled)
        if (shape.slices == slices && shape.stacks == stacks && shape.textured == textured) return shape.list;
    return 0;
}

GLuint CompileList(int slices, int stacks, bool textured) {
    GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    if (slices == CYLINDER) gluCylinder(q, 1.0, 1.0, 1.0, CYLINDER_SUBDIVISIONS, CYLINDER_SUBDIVISIONS);
    else gluSphere(q, 1.0, slices, stacks);
    glEndList();
    compiled.push_back({slices, stacks, textured, list});
    return list;
}

void CallShape(int slices, int stacks, bool textured) {
    GLuint list = FindList(slices, stacks, textured);
    if (list == 0) list = CompileList(slices, stacks, textured);
    glCallList(list);
}

}  // namespace

void DrawUnitSphere(int slices, int stacks) {
    if (tessellateEachShape) gluSphere(q, 1.0, slices, stacks);
    else CallShape(slices, stacks, true);
}

void DrawBondCylinder(double radius, double length, bool textured) {
    if (tessellateEachShape) {
        gluCylinder(q, radius, radius, length, CYLINDER_SUBDIVISIONS, CYLINDER_SUBDIVISIONS);
        return;
    }
    // The scaled normals are normalised again (GL_NORMALIZE is on), so this lights like a real cylinder.
    glPushMatrix();
    glScalef(static_cast<float>(radius), static_cast<float>(radius), static_cast<float>(length));
    CallShape(CYLINDER, CYLINDER, textured);
    glPopMatrix();
}
