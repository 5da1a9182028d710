// The eye ray under a pixel: the pixel's centre unprojected at the near and the far plane.
#include "render/pick_ray.h"

#include <GL/glu.h>

bool EyeRayAt(int x, int y, double* origin, double* direction) {
    double modelview[16], projection[16];
    int viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double winX = x + 0.5, winY = viewport[3] - y - 0.5;  // OpenGL counts rows from the bottom
    double farPoint[3];
    if (!gluUnProject(winX, winY, 0.0, modelview, projection, viewport, &origin[0], &origin[1], &origin[2]) ||
        !gluUnProject(winX, winY, 1.0, modelview, projection, viewport, &farPoint[0], &farPoint[1], &farPoint[2]))
        return false;
    for (int k = 0; k < 3; ++k) direction[k] = farPoint[k] - origin[k];
    return true;
}
