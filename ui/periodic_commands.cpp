// The periodic box's keys: each says what it did in one line; without a box they change nothing.
#include "ui/periodic_commands.h"

#include <GL/freeglut.h>
#include <iostream>

#include "core/periodic_images.h"
#include "core/scene.h"
#include "io/trajectory.h"

void CycleImagesKey() {
    std::cout << CycleImages() << std::endl;
    glutPostRedisplay();
}

void ToggleWrapKey() {
    if (!wrapIntoBox && !frameBox.exists) {
        std::cout << "This frame gives no simulation box: nothing is wrapped." << std::endl;
        return;
    }
    SwitchWrapping(!wrapIntoBox);
    std::cout << (wrapIntoBox ? "Positions wrapped into the box." : "Positions as the file gives them.") << std::endl;
    glutPostRedisplay();
}
