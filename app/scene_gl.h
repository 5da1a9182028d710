// The scene variables that carry OpenGL or GLUT types; kept apart so the readers need no GL headers.
#pragma once

#include <GL/glu.h>  // Required for: GLUquadric

extern GLUquadric* q;   // the one quadric for every sphere and cylinder; made by the GL set-up
extern void* bitfont;   // GLUT bitmap font of the overlay (8 x 13)
