// The loading sequence and the display loop.
#include "app/startup.h"

#include <GL/freeglut.h>
#include <iostream>
#include <string>

#include "core/scene.h"
#include "io/trajectory.h"
#include "export/screenshot.h"
#include "io/load.h"
#include "render/picture.h"

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
    DrawPicture();
    if (animate) {
        if (print) PrintImage(false);
        if (frame < FrameCount() - 1) {
            ++frame;
            ReadFrame();
        }
    }
    glutSwapBuffers();
}
