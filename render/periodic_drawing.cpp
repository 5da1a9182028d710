// Periodic images through the modelview: the same particle records and loops drawn again under a translation.
#include "render/periodic_drawing.h"

#include <GL/gl.h>

#include "core/periodic_images.h"
#include "core/scene.h"
#include "render/ellipsoids.h"
#include "render/inside_marks.h"

namespace {

// Runs `draw` under the modelview of each image in turn; `draw` reads its matrices itself (culling, detail, rays).
template <typename Draw>
void InEveryImage(Draw draw) {
    glMatrixMode(GL_MODELVIEW);
    for (int image = 0; image < ImageTotal(); ++image) {
        double shift[3];
        ImageShift(image, shift);
        glPushMatrix();
        glTranslated(shift[0], shift[1], shift[2]);
        draw();
        glPopMatrix();
    }
}

}  // namespace

void DrawSceneInImages() {
    if (!ImagesShown()) {
        DoStuff();
        return;
    }
    long long outside = 0;
    InEveryImage([&outside] {
        DrawOpaqueAtomsAndBonds();
        outside += ellipsoidsOutsideView;
    });
    ellipsoidsOutsideView = outside;
    DrawTransparentAtoms();  // those of every image in one far-to-near order
}

void DrawPickMarksInImages(const std::vector<double>& centre) {
    if (!ImagesShown()) {
        DrawPickMarks(centre);
        return;
    }
    InEveryImage([&centre] { DrawPickMarks(centre); });
}
