// Orientation colours, fitting and resetting the view, and the list of commands.
#include "ui/view_commands.h"

#include <GL/freeglut.h>
#include <cmath>
#include <iostream>

#include "core/scene.h"
#include "render/gl_setup.h"
#include "render/camera.h"

void ToggleColouring() {
    colourByOrientation = !colourByOrientation;
    orderFrameChanged = true;  // the frame shown gets its order line when it is next drawn
    std::cout << (colourByOrientation ? "Colouring by orientation." : "Colouring by species.") << std::endl;
    glutPostRedisplay();
}

void FitView() {
    if (FitFrameInView()) glutPostRedisplay();
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
