// The one GLUT window every drawing test of the process draws in: GLUT may be initialised only once.
#pragma once

#include <GL/freeglut.h>

#include <cstdlib>

#include "core/scene.h"
#include "render/gl_setup.h"

// Opens the window on first use, with the program's GL set-up and a grey background (51, 51, 51);
// false without a display.
inline bool OpenTestWindow() {
    static bool open = false;
    if (open) return true;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    int argc = 1;
    char name[] = "gl_tests";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    glutCreateWindow("Ovalix drawing tests");
    BGColor[0] = BGColor[1] = BGColor[2] = 0.2f;
    BGColor[3] = 1.0f;
    MyGLInit();
    Reshape(window_width, window_height);
    open = true;
    return true;
}
