// The camera moves of the keys and the mouse: turns and moves about eye-space axes, and the lights' anchor.
#include "render/camera.h"

#include <GL/gl.h>
#include <cmath>

#include "core/scene.h"
#include "core/view_fit.h"
#include "render/gl_setup.h"

void getMVCoord(double* c0, double* c1, double* c2) {
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 3; ++i) {
        c0[i] = m[i];
        c1[i] = m[4 + i];
        c2[i] = m[8 + i];
    }
}

double dot(double* a, double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The eye-space direction (x, y, z) expressed in model coordinates of the current modelview.
static void EyeToModel(double x, double y, double z, float* m) {
    double c0[3], c1[3], c2[3], v[3] = {x, y, z};
    getMVCoord(c0, c1, c2);
    m[0] = static_cast<float>(dot(c0, v));
    m[1] = static_cast<float>(dot(c1, v));
    m[2] = static_cast<float>(dot(c2, v));
}

void MoveAlongEye(double distance, double x, double y, double z) {
    float m[3];
    EyeToModel(x, y, z, m);
    float s = static_cast<float>(distance);
    glTranslatef(s * m[0], s * m[1], s * m[2]);
}

void TurnAboutEye(double degrees, double x, double y, double z) {
    float m[3];
    EyeToModel(x, y, z, m);
    glRotatef(static_cast<float>(degrees), m[0], m[1], m[2]);
}

void ReanchorLights() {
    if (rotating_light) {
        glLightfv(GL_LIGHT0, GL_POSITION, light_pos_0);
        glLightfv(GL_LIGHT1, GL_POSITION, light_pos_1);
        return;
    }
    glPushMatrix();
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, light_pos_0);
    glLightfv(GL_LIGHT1, GL_POSITION, light_pos_1);
    glPopMatrix();
}

void ViewAxisInModel(double* axis) {
    float m[3];
    EyeToModel(0, 0, 1, m);
    for (int k = 0; k < 3; ++k) axis[k] = m[k];
}

// The view of the key z: the frame's sphere fills the smaller dimension, the clip planes follow.
bool FitFrameInView() {
    double radius = SceneRadius();
    if (atoms <= 0 || !std::isfinite(radius)) return false;
    if (!(radius > 0)) radius = 1;  // point particles only: a unit sphere round the centre
    double distance = FitDistance(radius, window_width, window_height);
    if (!(distance < 1e30)) return false;  // beyond what the single-precision matrix can hold
    FitClipPlanes(distance, radius, clipNear, clipFar);
    ApplyPerspective();
    // Where the frame centre (the scene origin) lies in eye space now, and the one move that puts it
    // on the view axis at the fitting distance.
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    MoveAlongEye(1.0, -m[12], -m[13], -distance - m[14]);
    ReanchorLights();
    return true;
}
