// The current matrices and viewport, read once per redraw for the adaptive choice of subdivisions.
#include "render/detail_view.h"

#include <GL/gl.h>

DetailView ReadDetailView() {
    DetailView view;
    glGetDoublev(GL_MODELVIEW_MATRIX, view.modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, view.projection);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    view.width = viewport[2];
    view.height = viewport[3];
    return view;
}
