// The right-button menu: light mode, printing, image format, time-step overlay and quit.
#include "ui/menu.h"

#include <GL/freeglut.h>
#include <cstdlib>
#include <iostream>

#include "core/scene.h"
#include "io/trajectory.h"
#include "export/image_names.h"
#include "export/screenshot.h"

enum MenuEntry {
    MENU_QUIT = 0, MENU_STATIONARY_LIGHT, MENU_MOVING_LIGHT, MENU_PRINT_IMAGES, MENU_NO_IMAGES,
    MENU_PRINT_SCREEN, MENU_HIDE_TIMESTEP, MENU_SHOW_TIMESTEP, MENU_JPG, MENU_PNG, MENU_BMP
};

void createGLUTMenus() {
    int light = glutCreateMenu(MenuHandler);
    glutAddMenuEntry("Stationary Light", MENU_STATIONARY_LIGHT);
    glutAddMenuEntry("Moving Light", MENU_MOVING_LIGHT);
    int printing = glutCreateMenu(MenuHandler);
    glutAddMenuEntry("Print Images", MENU_PRINT_IMAGES);
    glutAddMenuEntry("Do Not Print Images", MENU_NO_IMAGES);
    glutAddMenuEntry("Print This Screen (Enter)", MENU_PRINT_SCREEN);
    int timestep = glutCreateMenu(MenuHandler);
    glutAddMenuEntry("Hide Timestep (t)", MENU_HIDE_TIMESTEP);
    glutAddMenuEntry("Show Timestep", MENU_SHOW_TIMESTEP);
    int fileFormat = glutCreateMenu(MenuHandler);
    glutAddMenuEntry("JPG", MENU_JPG);
    glutAddMenuEntry("PNG", MENU_PNG);
    glutAddMenuEntry("BMP", MENU_BMP);
    glutCreateMenu(MenuHandler);
    glutAddSubMenu("Light", light);
    glutAddSubMenu("Print", printing);
    glutAddSubMenu("File format", fileFormat);
    glutAddSubMenu("Timestep", timestep);
    glutAddMenuEntry("Quit (Q)", MENU_QUIT);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}

void MenuHandler(int id) {
    switch (id) {
        case MENU_QUIT:
            CloseFile();
            std::cout << "Bye." << std::endl;
            std::exit(0);
        case MENU_STATIONARY_LIGHT:
            rotating_light = 0;
            std::cout << "Stationary light" << std::endl;
            break;
        case MENU_MOVING_LIGHT:
            rotating_light = 1;
            std::cout << "Rotating light" << std::endl;
            break;
        case MENU_PRINT_IMAGES:
            print = true;
            std::cout << "Printing every animated frame as " << SequencePattern() << "." << std::endl;
            break;
        case MENU_NO_IMAGES:
            print = false;
            std::cout << "Stopped printing frames." << std::endl;
            break;
        case MENU_PRINT_SCREEN: {
            bool printing = print;  // a snapshot leaves frame printing as it was
            print = true;
            PrintImage(true);
            print = printing;
            break;
        }
        case MENU_HIDE_TIMESTEP: showTS = false; break;
        case MENU_SHOW_TIMESTEP: showTS = true; break;
        case MENU_JPG: format = ".jpg"; break;
        case MENU_PNG: format = ".png"; break;
        case MENU_BMP: format = ".bmp"; break;
        default: break;
    }
    glutPostRedisplay();  // every choice may change the picture
}
