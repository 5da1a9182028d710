// Ovalix: an interactive viewer of coarse-grained trajectories drawn as lit, coloured ellipsoids.
// Keys: the table KEY_COMMANDS in ui/keyboard.cpp; mouse and menu: ui/mouse.h and ui/menu.h.
#include <GL/freeglut.h>
#include <iostream>
#include <string>

#include "core/scene.h"
#include "app/exit_sequence.h"
#include "app/startup.h"
#include "headless/analyze_mode.h"
#include "headless/render_mode.h"
#include "ui/animation.h"
#include "io/trajectory.h"
#include "render/camera.h"
#include "render/gl_setup.h"
#include "render/textures.h"
#include "ui/keyboard.h"
#include "ui/menu.h"
#include "ui/mouse.h"

#ifndef OVALIX_VERSION
#define OVALIX_VERSION "unknown"
#endif

namespace {

const char* const WINDOW_USAGE =
    "Usage: ovalix [CONFIGURATION]\n"
    "       ovalix --render [options] FILE...   (no window; ovalix --render --help lists the options)\n"
    "       ovalix --analyze [options] FILE     (a CSV table of order per frame; ovalix --analyze --help)\n"
    "Opens the configuration (or a LAMMPS dump or PDB trajectory) in a window; without a name it asks for one.\n"
    "A quoted name with '*' ('dump.*.gz') opens a series of files as one trajectory, in step order.\n"
    "Press h in the window for the keys. Also: -h or --help (this text), --version.\n";

// -h, --help and --version answer without a display; anything else is the name of a configuration.
bool AnswerInformationOption(int argc, char** argv) {
    if (argc != 2) return false;
    std::string word = argv[1];
    if (word == "--help" || word == "-h") std::cout << WINDOW_USAGE;
    else if (word == "--version") std::cout << "ovalix " OVALIX_VERSION "\n";
    else return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--render") return RunRenderMode(argc, argv);  // no window, no display
    if (argc > 1 && std::string(argv[1]) == "--analyze") return RunAnalyzeMode(argc, argv);  // no drawing at all
    if (AnswerInformationOption(argc, argv)) return 0;
    ChooseWindowEndings();
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
    if (fitViewOnLoad) FitFrameInView();

    glutMainLoop();
    CloseFile();
    DeleteTextures();
    return 0;
}
