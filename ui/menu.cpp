// The right-button menu: light mode, printing, image format, time-step overlay and quit.
#include "ui/menu.h"

#include <GL/freeglut.h>
#include <cstring>
#include <iostream>
#include <vector>

#include "core/scene.h"
#include "export/image_names.h"
#include "export/screenshot.h"
#include "ui/keyboard.h"

namespace {

void StationaryLight() {
    rotating_light = 0;
    std::cout << "Stationary light" << std::endl;
}
void MovingLight() {
    rotating_light = 1;
    std::cout << "Rotating light" << std::endl;
}
void PrintImages() {
    print = true;
    std::cout << "Printing every animated frame as " << SequencePattern() << "." << std::endl;
}
void StopPrintingImages() {
    print = false;
    std::cout << "Stopped printing frames." << std::endl;
}
void HideTimestep() { showTS = false; }
void ShowTimestep() { showTS = true; }
void ChooseJpg() { format = ".jpg"; }
void ChoosePng() { format = ".png"; }
void ChooseBmp() { format = ".bmp"; }

struct MadeMenu {
    const char* name;
    int menu;  // GLUT's number for it
};

int MenuNamed(const std::vector<MadeMenu>& made, const char* name) {
    for (const MadeMenu& sub : made)
        if (std::strcmp(sub.name, name) == 0) return sub.menu;
    return 0;
}

}  // namespace

// NOTE: two entries that name a key do other than it: the snapshot entry re-anchors no lights, and the
// overlay entry hides where 't' switches.
const MenuRow MENU_ROWS[] = {
    {1, "Light", "Stationary Light", '\0', StationaryLight},
    {2, "Light", "Moving Light", '\0', MovingLight},
    {3, "Print", "Print Images", '\0', PrintImages},
    {4, "Print", "Do Not Print Images", '\0', StopPrintingImages},
    {5, "Print", "Print This Screen (Enter)", '\r', PrintSnapshot},
    {6, "Timestep", "Hide Timestep (t)", 't', HideTimestep},
    {7, "Timestep", "Show Timestep", '\0', ShowTimestep},
    {8, "File format", "JPG", '\0', ChooseJpg},
    {9, "File format", "PNG", '\0', ChoosePng},
    {10, "File format", "BMP", '\0', ChooseBmp},
    {SUBMENU, nullptr, "Light", '\0', nullptr},
    {SUBMENU, nullptr, "Print", '\0', nullptr},
    {SUBMENU, nullptr, "File format", '\0', nullptr},
    {SUBMENU, nullptr, "Timestep", '\0', nullptr},
    {0, nullptr, "Quit (Q)", 'Q', nullptr},
};
const int MENU_ROW_COUNT = static_cast<int>(sizeof MENU_ROWS / sizeof MENU_ROWS[0]);

// A sub-menu is built when the table first names it, then the main menu, which is current when attached.
void createGLUTMenus() {
    std::vector<MadeMenu> made;
    for (const MenuRow& row : MENU_ROWS) {
        if (row.menu == nullptr) continue;
        int sub = MenuNamed(made, row.menu);
        if (sub == 0) {
            sub = glutCreateMenu(MenuHandler);
            made.push_back({row.menu, sub});
        }
        glutSetMenu(sub);
        glutAddMenuEntry(row.label, row.id);
    }
    glutCreateMenu(MenuHandler);
    for (const MenuRow& row : MENU_ROWS) {
        if (row.menu != nullptr) continue;
        if (row.id == SUBMENU) glutAddSubMenu(row.label, MenuNamed(made, row.label));
        else glutAddMenuEntry(row.label, row.id);
    }
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}

void MenuHandler(int id) {
    for (const MenuRow& row : MENU_ROWS) {
        if (row.id != id || id == SUBMENU) continue;
        if (row.action != nullptr) row.action();
        else if (const KeyCommand* command = KeyCommandOf(row.key)) command->action();
    }
    glutPostRedisplay();  // every choice may change the picture
}
