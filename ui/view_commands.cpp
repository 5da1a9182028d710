// Orientation colours, fitting, resetting and saving the view.
#include "ui/view_commands.h"

#include <GL/freeglut.h>
#include <cmath>
#include <iostream>

#include "core/quantity_colour.h"
#include "core/scene.h"
#include "export/image_file.h"
#include "io/file_series.h"
#include "io/whole_run.h"
#include "render/gl_setup.h"
#include "render/camera.h"
#include "render/view_state.h"

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

void ToggleFixedCentre() {
    fixedCentre = !fixedCentre;
    if (!fixedCentre) {
        std::cout << "Fixed centre off: each frame is centred on its mean position." << std::endl;
        return;
    }
    const bool box = TakeFixedCentre();
    std::cout << "Fixed centre on: every frame is centred on " << (box ? "the box centre" : "the mean position")
              << " of frame 0." << std::endl;
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

// The view file goes through the image writer's path: a full disk leaves no cut file behind.
void SaveView() {
    std::string name = OutputStem() + ".view";
    std::string error;
    if (WriteTextFile(name, ViewFileText(CaptureView()), error)) {
        std::cout << "View written to " << name << "." << std::endl;
        return;
    }
    std::cout << "No view file of name " << name << " can be written." << std::endl;
    std::cout << error << std::endl;
}
