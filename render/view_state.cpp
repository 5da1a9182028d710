// Captures and restores the view: the modelview matrix and what the lights and switches need to draw the same.
#include "render/view_state.h"

#include <GL/gl.h>

#include "core/scene.h"
#include "render/gl_setup.h"

ViewSettings CaptureView() {
    ViewSettings view{};
    glGetDoublev(GL_MODELVIEW_MATRIX, view.modelview);
    // OpenGL keeps light positions in eye space: restored as such, they light the scene as they do now.
    glGetLightfv(GL_LIGHT0, GL_POSITION, view.light0);
    glGetLightfv(GL_LIGHT1, GL_POSITION, view.light1);
    view.lightMode = rotating_light;
    view.fog = gp;
    view.overlay = showTS;
    view.clip[0] = clipNear;
    view.clip[1] = clipFar;
    return view;
}

void ApplyView(const ViewSettings& view) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, view.light0);
    glLightfv(GL_LIGHT1, GL_POSITION, view.light1);
    glLoadMatrixd(view.modelview);
    rotating_light = view.lightMode;
    gp = view.fog;
    if (gp) glEnable(GL_FOG);
    else glDisable(GL_FOG);
    showTS = view.overlay;
    clipNear = view.clip[0];
    clipFar = view.clip[1];
    ApplyPerspective();
}
