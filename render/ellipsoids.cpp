// Every atom of the frame as a lit, coloured, textured ellipsoid: a unit sphere scaled, turned and moved.
#include "render/ellipsoids.h"

#include <GL/freeglut.h>
#include <algorithm>
#include <cmath>
#include <iostream>

#include "core/detail.h"
#include "core/geometry.h"
#include "core/occlusion.h"
#include "core/order.h"
#include "core/quantity_colour.h"
#include "core/raycast_records.h"
#include "core/scene.h"
#include "core/periodic_images.h"
#include "core/transparency.h"
#include "core/view_culling.h"
#include "core/visibility.h"
#include "render/bonds.h"
#include "render/detail_view.h"
#include "render/raycast.h"
#include "render/shapes.h"


// The six planes of the view volume in the coordinates DoStuff draws in, set while DoStuff runs.
// Row a, b, c, d: a point (x, y, z) lies on the inner side when a x + b y + c z + d >= 0.
static double viewPlanes[6][4];
static bool viewPlanesSet = false;
static DetailView detailView;  // matrices and viewport of the redraw under way, for adaptive detail
static long long drawnAtom = -1;  // the atom DoStuff is drawing, for its quantity colour; -1 outside DoStuff
static long long adaptiveCulled = 0;  // opaque atoms the last adaptive drawing left out as hidden

// Planes of the clip volume -w <= x, y, z <= w, from the product of the projection and modelview matrices.
static void SetViewPlanes() {
    double modelview[16], projection[16], clip[16];  // column-major, as OpenGL keeps them
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += projection[4 * k + row] * modelview[4 * column + k];
            clip[4 * column + row] = sum;
        }
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side)
            for (int j = 0; j < 4; ++j)
                viewPlanes[2 * axis + side][j] = clip[4 * j + 3] + (side == 0 ? 1 : -1) * clip[4 * j + axis];
    viewPlanesSet = true;
}

// True when the ellipsoid lies wholly on the outer side of one plane of the view volume, so that every
// triangle of it is clipped away and it would draw no pixel. Anything not finite is drawn as before.
// NOTE: the slack, 1e-4 of the magnitudes summed, is a thousand times OpenGL's float rounding of the
// same transformation; an ellipsoid that might touch the view is always drawn.
static bool OutsideView(const std::vector<double>& position, const double* half) {
    if (!viewPlanesSet || !cullOutsideView) return false;
    double radius = 0;  // of the sphere around the ellipsoid
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(half[k]) || !std::isfinite(position[k])) return false;
        radius = std::max(radius, std::fabs(static_cast<double>(static_cast<float>(half[k]))));
    }
    for (const double* plane : viewPlanes) {
        double distance = plane[3], magnitude = std::fabs(plane[3]);
        for (int k = 0; k < 3; ++k) {
            distance += plane[k] * position[k];
            magnitude += std::fabs(plane[k] * position[k]);
        }
        double normal = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        magnitude += normal * radius;
        if (distance + normal * radius + 1e-4 * magnitude < 0) return true;
    }
    return false;
}

// The material every ellipsoid shares but its diffuse colour; line bonds drawn after them take it too.
static const float MATERIAL_AMBIENT[4] = {0.8f, 0.8f, 0.8f, 1.0f};
static const float MATERIAL_SPECULAR[4] = {0.1f, 0.1f, 0.1f, 1.0f};

// Ambient occlusion: the lit colour is linear in the material, so scaling its three colours scales the light.
static void ShadeMaterial(float factor, float* ambient, float* diffuse, float* specular) {
    for (int k = 0; k < 3; ++k) {
        ambient[k] *= factor;
        diffuse[k] *= factor;
        specular[k] *= factor;
    }
}

// The ambient and specular colours a line bond takes from the last ellipsoid drawn, as without occlusion.
static void UnshadeBondMaterial() {
    glMaterialfv(GL_FRONT, GL_AMBIENT, MATERIAL_AMBIENT);
    glMaterialfv(GL_FRONT, GL_SPECULAR, MATERIAL_SPECULAR);
}

// Species numbers are index-checked against both species tables before anything is drawn.
// In orientation colours the diffuse colour comes from the particle's angle to the director instead, in
// quantity colours from the value of the atom being drawn.
static void SetSpeciesMaterial(int n, const double* quaternion) {
    float ambient[4], specular[4];
    std::copy(MATERIAL_AMBIENT, MATERIAL_AMBIENT + 4, ambient);
    std::copy(MATERIAL_SPECULAR, MATERIAL_SPECULAR + 4, specular);
    float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    if (drawnAtom >= 0) diffuse[3] = static_cast<float>(AtomOpacity(drawnAtom));  // the blend weight of a transparent atom
    for (int k = 0; k < 3; ++k)
        diffuse[k] = static_cast<float>(entry(color, SPECIES_STRIDE * (n - 1LL) + k, "color"));
    if (drawnAtom < 0 || !QuantityColour(drawnAtom, diffuse)) OrientationColour(n, quaternion, diffuse);
    if (ambientOcclusion && drawnAtom >= 0) ShadeMaterial(OcclusionFactor(drawnAtom), ambient, diffuse, specular);
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT, GL_SHININESS, 0.0f);
}

// The species' half radii, as an atom of it is drawn with.
static void SpeciesHalfRadii(int n, double* half) {
    for (int k = 0; k < 3; ++k) half[k] = entry(shape, SPECIES_STRIDE * (n - 1LL) + k, "shape");
}

// The state a tessellated ellipsoid of species n leaves for the bonds drawn after it, without drawing it.
static void LeaveEllipsoidState(int n, const double* quaternion, int slices, int stacks) {
    SetSpeciesMaterial(n, quaternion);
    double half[3];
    SpeciesHalfRadii(n, half);
    if (half[0] == half[1] && half[1] == half[2]) {
        slices /= 2;
        stacks /= 2;
    }
    gluQuadricNormals(q, GLU_SMOOTH);
    gluQuadricTexture(q, GL_TRUE);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, entry(texture, 0, "texture"));
    LeaveUnitSphereState(slices, stacks);
}

// The ray-cast drawing in place of the tessellations; off, with one line, where the context cannot do it.
static bool DrawnByRaycast() {
    if (!raycastEllipsoids) return false;
    if (!RaycastAvailable()) {
        std::cout << "Ray-cast ellipsoids are not available: " << RaycastProblem() << "." << std::endl;
        raycastEllipsoids = false;
        return false;
    }
    long long drawn = DrawRaycastEllipsoids();
    ellipsoidsOutsideView = atoms - drawn;
    if (atoms > 0) LeaveEllipsoidState(AtomSpecies(atoms - 1), GeomRow(atoms - 1) + GEOM_QW, 30, 30);
    return true;
}

void CreateEllipsoid(int n, std::vector<double> position, std::vector<double> quaternion, int slices, int stacks) {
    SetSpeciesMaterial(n, quaternion.data());
    double degrees = 0, axis[3] = {0, 0, 0};
    QuaternionAxisAngle(quaternion.data(), degrees, axis);
    double half[3];
    SpeciesHalfRadii(n, half);
    if (half[0] == half[1] && half[1] == half[2]) {
        slices /= 2;
        stacks /= 2;
    }
    if (adaptiveDetail) ChooseDetail(detailView, position, half, slices, stacks);
    // NOTE: a position or size beyond single precision would reach OpenGL as infinity; no pixel could show it.
    // A skipped ellipsoid leaves the normal and texture coordinate its sphere would have: a line bond
    // drawn next is lit with them.
    if (!FitsInFloat(position.data(), 3) || !FitsInFloat(half, 3)) {
        ++ellipsoidsOutsideView;
        LeaveUnitSphereState(slices, stacks);
        return;
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
    if (OutsideView(position, half)) {
        ++ellipsoidsOutsideView;
        LeaveUnitSphereState(slices, stacks);
    } else {
        DrawUnitSphere(slices, stacks);
    }
    glPopMatrix();
}

// Transparent atoms after the opaque ones and the bonds, far to near, each blended over what lies behind it. They
// test depth but write none: an opaque atom in front still hides them, and one behind shows through each of them.
// Back faces are culled, so a tessellated ellipsoid, like a ray-cast one, covers each of its pixels once. Those
// of every periodic image are drawn here, under the frame's own modelview, in one order across the images.
void DrawTransparentAtoms() {
    if (!TransparencyDrawn()) return;
    std::vector<double> centre = FrameCentre();
    double modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    std::vector<TransparentPiece> order = TransparentAtomsFarToNear(modelview, centre);
    if (order.empty()) return;
    const bool raycast = raycastEllipsoids;  // the opaque pass has found out whether the context can ray-cast
    SetViewPlanes();
    if (adaptiveDetail) detailView = ReadDetailView();
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    if (raycast) ellipsoidsOutsideView -= DrawRaycastTransparent(order);
    std::vector<double> position(3), quaternion(4);
    for (std::size_t k = 0; k < order.size() && !raycast; ++k) {
        const double* row = GeomRow(order[k].atom);
        double shift[3];
        ImageShift(order[k].image, shift);
        for (int c = 0; c < 3; ++c) position[c] = row[GEOM_X + c] - centre[c] + shift[c];
        for (int c = 0; c < 4; ++c) quaternion[c] = row[GEOM_QW + c];
        drawnAtom = order[k].atom;
        CreateEllipsoid(AtomSpecies(order[k].atom), position, quaternion, 30, 30);
    }
    drawnAtom = -1;
    glPopAttrib();
    viewPlanesSet = false;
}

// In adaptive detail, the opaque atoms that nearer ones certainly cover: 1 at their index in `hiddenAtoms`
// (left empty when none are). Each occludes only by the part of its ellipsoid that its tessellation, which lies
// inside the ellipsoid, surely covers. The last opaque atom is always drawn: it leaves the state the bonds start
// from.
static void CullAdaptiveAtoms(const std::vector<double>& centre, std::vector<unsigned char>& hiddenAtoms) {
    hiddenAtoms.clear();
    adaptiveCulled = 0;
    CullingView view;
    if (!occlusionCulling || !CullingViewNow(view)) return;
    static std::vector<RaycastRecord> records;
    static std::vector<float> inner;
    static std::vector<long long> atomOf;
    static std::vector<unsigned char> hidden;
    records.clear();
    inner.clear();
    atomOf.clear();
    std::vector<double> position(3);
    RaycastRecord record;
    for (long long i = 0; i < atoms; ++i) {
        if (!AtomShown(i, centre) || !AtomDrawnOpaque(i) || !FillRaycastRecord(i, centre.data(), record)) continue;
        const double* row = GeomRow(i);
        for (int k = 0; k < 3; ++k) position[k] = row[GEOM_X + k] - centre[k];
        double half[3];
        SpeciesHalfRadii(AtomSpecies(i), half);
        int slices = 30, stacks = 30;
        ChooseDetail(detailView, position, half, slices, stacks);
        records.push_back(record);
        inner.push_back(static_cast<float>(TessellationInnerShare(slices, stacks)));
        atomOf.push_back(i);
    }
    if (HiddenRecords(records, inner, view, hidden) == 0) return;
    hidden.back() = 0;
    hiddenAtoms.assign(static_cast<std::size_t>(atoms), 0);
    for (std::size_t k = 0; k < atomOf.size(); ++k) hiddenAtoms[static_cast<std::size_t>(atomOf[k])] = hidden[k];
    adaptiveCulled = static_cast<long long>(std::count(hidden.begin(), hidden.end(), 1));
}

long long AdaptiveEllipsoidsCulled() { return adaptiveCulled; }

void DrawOpaqueAtomsAndBonds() {
    std::vector<double> centre = FrameCentre();
    std::vector<double> position(3), quaternion(4);
    UpdateFrameOrder();
    SetViewPlanes();
    if (adaptiveDetail) detailView = ReadDetailView();
    ellipsoidsOutsideView = 0;
    bool raycast = DrawnByRaycast();
    std::vector<unsigned char> hiddenAtoms;
    if (adaptiveDetail && !raycast) CullAdaptiveAtoms(centre, hiddenAtoms);
    for (long long i = 0; i < atoms && !raycast; ++i) {
        const double* row = GeomRow(i);
        int type = AtomSpecies(i);
        if (!AtomShown(i, centre) || !AtomDrawnOpaque(i)) continue;  // transparent ones come after the bonds
        for (int k = 0; k < 3; ++k) position[k] = row[GEOM_X + k] - centre[k];
        if (!hiddenAtoms.empty() && hiddenAtoms[static_cast<std::size_t>(i)]) {  // it would change no pixel
            double half[3];
            SpeciesHalfRadii(type, half);
            if (OutsideView(position, half)) ++ellipsoidsOutsideView;
            continue;
        }
        for (int k = 0; k < 4; ++k) quaternion[k] = row[GEOM_QW + k];
        drawnAtom = i;
        CreateEllipsoid(type, position, quaternion, 30, 30);
    }
    drawnAtom = -1;
    if (ambientOcclusion) UnshadeBondMaterial();
    glPushMatrix();
    for (int j = 0; j < BondCount(); ++j) {
        if (!BondInFrame(j) || !BondShown(j, centre)) continue;  // an atom missing from this frame, or hidden
        if (solidBonds) DrawSolidBonds(j, centre);
        else DrawLineBonds(j, centre);
    }
    glPopMatrix();
    viewPlanesSet = false;
}

void DoStuff() {
    DrawOpaqueAtomsAndBonds();
    DrawTransparentAtoms();
}
