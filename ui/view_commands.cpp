// Orientation colours, fitting, resetting and saving the view.
#include "ui/view_commands.h"

#include <GL/freeglut.h>
#include <cmath>
#include <iostream>

#include "core/scene.h"
#include "core/view_fit.h"
#include "export/image_file.h"
#include "render/gl_setup.h"
#include "render/camera.h"
#include "render/view_state.h"

void ToggleColouring() {
    colourByOrientation = !colourByOrientation;
    orderFrameChanged = true;  // the frame shown gets its order line when it is next drawn
    std::cout << (colourByOrientation ? "Colouring by orientation." : "Colouring by species.") << std::endl;
    glutPostRedisplay();
}

void FitView() {
    double radius = SceneRadius();
    if (atoms <= 0 || !std::isfinite(radius)) return;
    if (!(radius > 0)) radius = 1;  // point particles only: a unit sphere round the centre
    double distance = FitDistance(radius, window_width, window_height);
    if (!(distance < 1e30)) return;  // beyond what the single-precision matrix can hold
    FitClipPlanes(distance, radius, clipNear, clipFar);
    ApplyPerspective();
    // Where the frame centre (the scene origin) lies in eye space now, and the one move that puts it
    // on the view axis at the fitting distance.
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    MoveAlongEye(1.0, -m[12], -m[13], -distance - m[14]);
    ReanchorLights();
    glutPostRedisplay();
}

void ResetView() {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eyex, eyey, eyez, focusx, focusy, focusz, 0.0, 1.0, 0.0);
    clipNear = 1.0;
    clipFar = 0.0;
    ApplyPerspective();
    ReanchorLights();
    FitView();
    glutPostRedisplay();
}

// The view file goes through the image writer's path: a full disk leaves no cut file behind.
void SaveView() {
    std::string name = inname + ".view";
    std::string error;
    if (WriteTextFile(name, ViewFileText(CaptureView()), error)) {
        std::cout << "View written to " << name << "." << std::endl;
        return;
    }
    std::cout << "No view file of name " << name << " can be written." << std::endl;
    std::cout << error << std::endl;
}
