// The loading sequence and the display loop.
#include "app/startup.h"

#include <GL/freeglut.h>
#include <iostream>
#include <string>

#include "core/scene.h"
#include "io/trajectory.h"
#include "export/screenshot.h"
#include "io/load.h"
#include "render/ellipsoids.h"
#include "render/overlay.h"

void MyInit(int argc, char** argv) {
    std::string name;
    if (argc == 2) {
        name = argv[1];
    } else {
        std::cout << "Please enter name of file with configuration information: " << std::flush;
        std::getline(std::cin, name);
    }
    StartScene(name);
}

void Display() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    if (animate) {
        if (showTS) ShowTimeStep();
        if (print) PrintImage(false);
        if (frame < FrameCount() - 1) {
            ++frame;
            ReadFrame();
        }
    } else if (showTS) {
        ShowTimeStep();
    }
    glutSwapBuffers();
}
