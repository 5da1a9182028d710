// The loading sequence and the display loop.
#include "app/startup.h"

#include <GL/freeglut.h>
#include <iostream>
#include <string>

#include "core/scene.h"
#include "io/frame_step.h"
#include "export/screenshot.h"
#include "io/load.h"
#include "render/picture.h"
#include "ui/animation.h"

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

// The frame just drawn is written when printing; then the next one is read, or the animation has ended:
// `animate` stays on, but later redraws (a turn, a resize) neither advance nor write the last image again.
static void AdvanceAnimation() {
    if (print) PrintImage(false);
    if (frame < FrameCount() - 1) {
        GoToFrame(frame + 1);
    } else {
        animationEnded = true;
    }
}

void Display() {
    DrawPicture();
    if (animate && !animationEnded) AdvanceAnimation();
    glutSwapBuffers();
    UpdateIdleCallback();
}
