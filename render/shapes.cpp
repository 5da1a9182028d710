// Prebuilt display lists of the shapes every redraw draws thousands of times.
// A list records exactly the vertices, normals and texture coordinates that GLU would send again.
#include "render/shapes.h"

#include <GL/freeglut.h>
#include <vector>

#include "core/scene.h"

namespace {

constexpr int CYLINDER_SUBDIVISIONS = 5;

// One compiled shape: a sphere of given subdivisions, or the unit cylinder with or without texture coordinates.
struct ShapeList {
    int slices;
    int stacks;
    bool textured;
    GLuint list;
    float normal[3];    // current normal and texture coordinate the list leaves behind
    float texcoord[4];
};
std::vector<ShapeList> compiled;
constexpr int CYLINDER = -1;  // slices value that marks the cylinder entries

// Runs the list once with every buffer write off, to learn the normal and texture coordinate it leaves;
// the current state it found is put back, so this draws nothing and changes nothing.
void RecordLeftState(ShapeList& shape) {
    float normal[3], texcoord[4];
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texcoord);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    glCallList(shape.list);
    glPopAttrib();
    glGetFloatv(GL_CURRENT_NORMAL, shape.normal);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, shape.texcoord);
    glNormal3fv(normal);
    glTexCoord4fv(texcoord);
}

ShapeList& CompileList(int slices, int stacks, bool textured) {
    GLuint list = glGenLists(1);
    gluQuadricNormals(q, GLU_SMOOTH);  // a list may be made where the quadric was last set for another shape
    gluQuadricTexture(q, textured ? GL_TRUE : GL_FALSE);
    glNewList(list, GL_COMPILE);
    if (slices == CYLINDER) gluCylinder(q, 1.0, 1.0, 1.0, CYLINDER_SUBDIVISIONS, CYLINDER_SUBDIVISIONS);
    else gluSphere(q, 1.0, slices, stacks);
    glEndList();
    compiled.push_back({slices, stacks, textured, list, {0, 0, 1}, {0, 0, 0, 1}});
    RecordLeftState(compiled.back());
    return compiled.back();
}

ShapeList& FindOrCompile(int slices, int stacks, bool textured) {
    for (ShapeList& shape : compiled)
        if (shape.slices == slices && shape.stacks == stacks && shape.textured == textured) return shape;
    return CompileList(slices, stacks, textured);
}

void CallShape(int slices, int stacks, bool textured) { glCallList(FindOrCompile(slices, stacks, textured).list); }

}  // namespace

void DrawUnitSphere(int slices, int stacks) {
    if (tessellateEachShape) gluSphere(q, 1.0, slices, stacks);
    else CallShape(slices, stacks, true);
}

void LeaveUnitSphereState(int slices, int stacks) {
    const ShapeList& shape = FindOrCompile(slices, stacks, true);
    glNormal3fv(shape.normal);
    glTexCoord4fv(shape.texcoord);
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
