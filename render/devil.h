// DevIL with its OpenGL utility layer switched on.
#pragma once

#include <GL/gl.h>
#include <IL/il.h>
#include <IL/ilu.h>
#ifndef ILUT_USE_OPENGL
#define ILUT_USE_OPENGL  // Required for: ilutGLBindMipmaps(), ilutGLScreen()
#endif
#include <IL/ilut.h>
