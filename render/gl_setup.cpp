// OpenGL state for the whole run: depth, culling, material, camera, fog, two directional lights, textures.
#include "render/gl_setup.h"

#include <GL/freeglut.h>

#include "core/scene.h"
#include "render/devil.h"
#include "render/textures.h"

// The clip planes are 1 and window_depth unless a fit of the view has moved them to keep the frame whole.
static void SetPerspective(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    double farPlane = clipFar > window_depth ? clipFar : window_depth;
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), clipNear, farPlane);
}

void ApplyPerspective() {
    SetPerspective(window_width, window_height);
    glMatrixMode(GL_MODELVIEW);
}

static void SetUpLight(GLenum light, const float* position) {
    glLightfv(light, GL_AMBIENT, light_ambient_2);
    glLightfv(light, GL_DIFFUSE, light_diffuse);
    glLightfv(light, GL_SPECULAR, light_specular);
    glEnable(light);
    glLightfv(light, GL_POSITION, position);
}

static void SetUpFog() {
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogfv(GL_FOG_COLOR, FogColor);
    glFogf(GL_FOG_DENSITY, 100.0f);
    glHint(GL_FOG_HINT, GL_DONT_CARE);
    glFogf(GL_FOG_START, static_cast<float>(window_depth - 50));
    glFogf(GL_FOG_END, static_cast<float>(window_depth));
    glEnable(GL_FOG);
}

void MyGLInit() {
    glClearColor(BGColor[0], BGColor[1], BGColor[2], BGColor[3]);
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    // NOTE: every ellipsoid is a scaled unit sphere; without this its normals scale too and the lighting
    // darkens large particles and turns small ones into flat saturated discs.
    glEnable(GL_NORMALIZE);
    for (GLenum hint : {GL_PERSPECTIVE_CORRECTION_HINT, GL_POINT_SMOOTH_HINT, GL_LINE_SMOOTH_HINT, GL_POLYGON_SMOOTH_HINT})
        glHint(hint, GL_NICEST);
    glMaterialfv(GL_FRONT, GL_SPECULAR, light_specular);
    glMaterialf(GL_FRONT, GL_SHININESS, 0.0f);

    SetPerspective(window_width, window_height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    eyex = 0, eyey = 0, eyez = 200;
    focusx = 0, focusy = 0, focusz = 0;
    gluLookAt(eyex, eyey, eyez, focusx, focusy, focusz, 0.0, 1.0, 0.0);

    SetUpFog();
    glEnable(GL_LIGHTING);
    SetUpLight(GL_LIGHT0, light_pos_0);
    SetUpLight(GL_LIGHT1, light_pos_1);

    q = gluNewQuadric();
    gluQuadricNormals(q, GLU_SMOOTH);
    gluQuadricTexture(q, GL_TRUE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    ilInit();
    iluInit();
    ilutInit();
    ilutRenderer(ILUT_OPENGL);
    if (!ellipsoidtexture.empty()) LoadTextures(ellipsoidtexture, 0);
    if (!bondtexture.empty()) LoadTextures(bondtexture, 1);
}

void Reshape(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    SetPerspective(width, height);
    glMatrixMode(GL_MODELVIEW);
    window_width = width;
    window_height = height;
}

void ReshapeWindow(int width, int height) {
    Reshape(width, height);
    glutPostRedisplay();
}

void setOrthographicProjection() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, window_width, 0, window_height);
    glScalef(1, -1, 1);
    glTranslatef(0, static_cast<float>(-window_height), 0);
    glMatrixMode(GL_MODELVIEW);
}

void resetPerspectiveProjection() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
