// Scene variables of OpenGL and GLUT type.
#include "app/scene_gl.h"

#include <GL/freeglut.h>  // Required for: GLUT_BITMAP_8_BY_13

GLUquadric* q = nullptr;
void* bitfont = GLUT_BITMAP_8_BY_13;
