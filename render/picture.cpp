// Draws the whole picture of one frame.
#include "render/picture.h"

#include <GL/gl.h>

#include "core/geometry.h"
#include "core/scene.h"
#include "render/inside_marks.h"
#include "render/ellipsoids.h"
#include "render/overlay.h"
#include "render/periodic_drawing.h"

void DrawPicture() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawSceneInImages();
    if (showBox || !pickedLabels.empty()) {
        std::vector<double> centre = FrameCentre();
        DrawSimulationBox(centre);
        DrawPickMarksInImages(centre);  // the box outline marks the frame's own cell only
    }
    if (showTS) ShowTimeStep();
    DrawColourBar();
}
