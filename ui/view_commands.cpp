// Orientation colours, fitting and resetting the view, and the list of commands.
#include "ui/view_commands.h"

#include <GL/freeglut.h>
#include <cmath>
#include <iostream>

#include "core/quantity_colour.h"
#include "core/scene.h"
#include "core/view_fit.h"
#include "render/gl_setup.h"
#include "render/camera.h"

void ToggleColouring() {
    colourByOrientation = !colourByOrientation;
    if (colourByOrientation) colourQuantity = SPECIES_COLOURS;  // the last colouring chosen wins
    orderFrameChanged = true;  // the frame shown gets its order line when it is next drawn
    std::cout << (colourByOrientation ? "Colouring by orientation." : "Colouring by species.") << std::endl;
    glutPostRedisplay();
}

void CycleQuantityColouring() {
    std::cout << CycleQuantity() << std::endl;
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
