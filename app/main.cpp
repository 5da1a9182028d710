// Ovalix: an interactive viewer of coarse-grained trajectories drawn as lit, coloured ellipsoids.
// Keys, mouse and menu are listed in ui/keyboard.h, ui/mouse.h and ui/menu.h.
#include <GL/freeglut.h>
#include <string>

#include "app/render_launch.h"
#include "core/scene.h"
#include "app/startup.h"
#include "ui/animation.h"
#include "io/trajectory.h"
#include "render/camera.h"
#include "render/gl_setup.h"
#include "render/textures.h"
#include "ui/keyboard.h"
#include "ui/menu.h"
#include "ui/mouse.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--render") RunRenderMode(argc, argv);  // no window, no display
    glutInit(&argc, argv);
    bitfont = GLUT_BITMAP_8_BY_13;
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    MyInit(argc, argv);
    glutCreateWindow(title.c_str());

    glutDisplayFunc(Display);
    UpdateIdleCallback();
    glutReshapeFunc(ReshapeWindow);
    glutKeyboardFunc(KeyHandler);
    glutSpecialFunc(SpecialKey);
    glutMouseFunc(HandleMouseState);
    glutMotionFunc(HandleMouseMove);
    glutMouseWheelFunc(HandleWheel);
    createGLUTMenus();
    MyGLInit();
    if (fitViewOnLoad) FitViewToFrame();

    glutMainLoop();
    CloseFile();
    DeleteTextures();
    return 0;
}
