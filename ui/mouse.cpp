// Arrow keys pan, left drags turn, spin or push the scene, the wheel moves it closer or farther.
#include "ui/mouse.h"

#include <GL/freeglut.h>
#include <cstdlib>

#include "core/scene.h"
#include "render/camera.h"
#include "ui/inside_commands.h"

// Pixels the pointer may travel between press and release of a click.
constexpr int CLICK_SLACK = 3;

void SpecialKey(int key, int, int) {
    if (key == GLUT_KEY_LEFT) MoveAlongEye(-1, 1, 0, 0);
    if (key == GLUT_KEY_UP) MoveAlongEye(1, 0, 1, 0);
    if (key == GLUT_KEY_RIGHT) MoveAlongEye(1, 1, 0, 0);
    if (key == GLUT_KEY_DOWN) MoveAlongEye(-1, 0, 1, 0);
    ReanchorLights();
    glutPostRedisplay();
}

void HandleMouseState(int button, int state, int x, int y) {
    bool down = state == GLUT_DOWN;
    if (button == GLUT_LEFT_BUTTON) {
        // A release where the button went down, with no drag step between, is a click: it picks.
        bool click = !down && MouseState.leftButton && !MouseState.leftMoved &&
                     std::abs(x - MouseState.pressX) <= CLICK_SLACK && std::abs(y - MouseState.pressY) <= CLICK_SLACK;
        MouseState.leftButton = down;
        if (down) {
            MouseState.modifiers = glutGetModifiers();
            MouseState.pressX = x;
            MouseState.pressY = y;
            MouseState.leftMoved = false;
        }
        if (click) PickAt(x, y);
    }
    if (button == GLUT_MIDDLE_BUTTON) MouseState.middleButton = down;
    if (button == GLUT_RIGHT_BUTTON) MouseState.rightButton = down;
    MouseState.x = x;
    MouseState.y = y;
}

void HandleMouseMove(int x, int y) {
    int dx = x - MouseState.x;
    int dy = y - MouseState.y;
    MouseState.x = x;
    MouseState.y = y;
    if (MouseState.leftButton) {
        if (dx != 0 || dy != 0) MouseState.leftMoved = true;
        if (MouseState.modifiers == GLUT_ACTIVE_SHIFT) {
            TurnAboutEye(dx, 0, 0, -1);
        } else if (MouseState.modifiers == GLUT_ACTIVE_CTRL) {
            MoveAlongEye(-dy, 0, 0, 1);
        } else {
            TurnAboutEye(dx, 0, 1, 0);
            TurnAboutEye(dy, 1, 0, 0);
        }
    }
    ReanchorLights();
    glutPostRedisplay();
}

void HandleWheel(int, int direction, int, int) {
    MoveAlongEye(-2.0 * direction, 0, 0, 1);
    glutPostRedisplay();
}
