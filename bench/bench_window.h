// The window a drawing benchmark draws in: the program's size and GL set-up (glutInit comes first).
#pragma once

#include <GL/freeglut.h>

#include "core/scene.h"
#include "render/gl_setup.h"

inline void OpenBenchWindow(const char* title) {
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    glutCreateWindow(title);
    MyGLInit();
    Reshape(window_width, window_height);
}
