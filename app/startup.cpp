// The loading sequence and the display loop.
#include "app/startup.h"

#include <GL/freeglut.h>
#include <iostream>
#include <string>

#include "app/scene.h"
#include "app/trajectory.h"
#include "export/screenshot.h"
#include "io/bond_reader.h"
#include "io/config_reader.h"
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
    title = "OvaLIX - " + name;
    std::string bondFile = ReadConfig(name);
    std::cout << "Config file read." << std::endl;
    OpenFile();
    ReadFrame();
    topology.clear();
    if (!bondFile.empty()) ReadBonds(bondFile);
    std::cout << "Done reading. Rendering." << std::endl;
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

// Each turn of the event loop with nothing else to do shows the next frame of the animation.
static void AnimationStep() { glutPostRedisplay(); }

// NOTE: without an animation there is nothing to redraw between events; an idle callback would keep a
// core busy redrawing the same picture.
void UpdateIdleCallback() { glutIdleFunc(animate ? AnimationStep : nullptr); }
