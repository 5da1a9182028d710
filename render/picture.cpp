// Draws the whole picture of one frame.
#include "render/picture.h"

#include <GL/gl.h>

#include "core/geometry.h"
#include "core/scene.h"
#include "render/inside_marks.h"
#include "render/ellipsoids.h"
#include "render/overlay.h"

void DrawPicture() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    if (showBox || !pickedLabels.empty()) {
        std::vector<double> centre = FrameCentre();
        DrawSimulationBox(centre);
        DrawPickMarks(centre);
    }
    if (showTS) ShowTimeStep();
    DrawColourBar();
}
