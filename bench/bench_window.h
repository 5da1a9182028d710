// The window a drawing benchmark draws in: the program's size and GL set-up (glutInit comes first).
#pragma once

#include <GL/freeglut.h>
#include <chrono>

#include "core/scene.h"
#include "render/gl_setup.h"
#include "render/picture.h"

inline void OpenBenchWindow(const char* title) {
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    glutCreateWindow(title);
    MyGLInit();
    Reshape(window_width, window_height);
}

// One whole redraw in milliseconds: the picture drawn and finished, then shown.
inline double TimedDrawPicture() {
    auto start = std::chrono::steady_clock::now();
    DrawPicture();
    glFinish();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    glutSwapBuffers();
    return ms;
}
