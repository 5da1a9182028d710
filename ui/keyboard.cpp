// Keyboard commands: movement, frames, animation, fog, overlay, snapshot, reload and quit.
#include "ui/keyboard.h"

#include <GL/freeglut.h>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>

#include "app/scene.h"
#include "app/trajectory.h"
#include "export/screenshot.h"
#include "io/bond_reader.h"
#include "app/startup.h"
#include "io/config_reader.h"
#include "render/textures.h"
#include "ui/view_commands.h"
#include "render/view_state.h"

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

// Shows frame `frame`: the stream may sit at its end, so its state is cleared before the seek.
static void JumpToFrame() {
    infile.clear();
    infile.seekg(entry(counter, frame, "counter"), std::ios::beg);
    ReadFrame();
    animate = false;
}

static void Quit() {
    CloseFile();
    std::cout << "Bye." << std::endl;
    std::exit(0);
}

static void StepFrames(int direction) {
    int frames = FrameCount();
    int step = frames / 10;
    int target = frame + direction * step;
    if (direction < 0) frame = target <= 0 ? 0 : target;
    else frame = target >= frames - 1 ? frames - 1 : target;
    JumpToFrame();
}

// Leading decimal digits of word; a value beyond int range counts as the largest int.
static int LeadingNumber(const std::string& word) {
    long long value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    }
    return static_cast<int>(value);
}

// Reads one whitespace-delimited word of at most `limit` characters; the rest of a longer word is dropped.
static std::string ReadWord(std::size_t limit) {
    std::string word;
    std::cin >> std::ws;
    while (std::cin && std::cin.peek() != EOF && !std::isspace(std::cin.peek())) {
        char c = static_cast<char>(std::cin.get());
        if (word.size() < limit) word += c;
    }
    return word;
}

static void GoToFrame() {
    std::cout << "Go to frame: " << std::flush;
    std::string word = ReadWord(63);
    if (word.empty() || word[0] < '0' || word[0] > '9') {
        std::cin.clear();
        std::cout << "I'm sorry Dave, I'm afraid I can't do that." << std::endl;
        animate = false;
        return;
    }
    int n = LeadingNumber(word);
    int last = FrameCount() - 1;
    if (n > last) {
        std::cout << "Only " << last << " frames in this file." << std::endl;
        n = last;
    }
    frame = n;
    std::cout << "Going to frame " << n << std::endl;
    std::cin.clear();
    JumpToFrame();
}

static void Reload() {
    print = false;
    frame = 0;
    CloseFile();
    infile.clear();
    std::cin.clear();
    counter.clear();
    DeleteTextures();
    std::cout << "Please enter name of file with configuration information: " << std::flush;
    std::string name;
    std::getline(std::cin, name);
    title = "Ovalix - " + name;
    std::string bondFile = ReadConfig(name);
    glutSetWindowTitle(title.c_str());
    std::cout << "Config file read." << std::endl;
    if (!ellipsoidtexture.empty()) LoadTextures(ellipsoidtexture, 0);
    if (!bondtexture.empty()) LoadTextures(bondtexture, 1);
    glClearColor(BGColor[0], BGColor[1], BGColor[2], BGColor[3]);
    glFogfv(GL_FOG_COLOR, FogColor);
    OpenFile();
    infile.seekg(0, std::ios::beg);
    ReadFrame();
    topology.clear();
    if (!bondFile.empty()) ReadBonds(bondFile);
    animate = false;
    std::cout << "Done. Rendering." << std::endl;
}

static void ToggleFog() {
    if (gp) glDisable(GL_FOG);
    else glEnable(GL_FOG);
    gp = !gp;
}

static void ToggleAdaptiveDetail() {
    adaptiveDetail = !adaptiveDetail;
    std::cout << (adaptiveDetail ? "Adaptive detail on." : "Adaptive detail off.") << std::endl;
}

// Printing frames stays on or off as it was: a snapshot in the middle of a movie export does not end it.
static void Snapshot() {
    bool printing = print;
    print = true;
    PrintImage(true);
    print = printing;
    ReanchorLights();
    glutPostRedisplay();
}

void KeyHandler(unsigned char key, int, int) {
    // Frame commands need frame offsets; with none they do nothing.
    bool haveFrames = !counter.empty();
    if (key == 'Q' || key == 27) Quit();
    if (key == '+' || key == '=') MoveAlongEye(2, 0, 0, 1);
    if (key == '-' || key == '_') MoveAlongEye(-2, 0, 0, 1);
    if (key == 'd') TurnAboutEye(2, 0, 1, 0);
    if (key == 'a') TurnAboutEye(2, 0, -1, 0);
    if (key == 'w') TurnAboutEye(2, -1, 0, 0);
    if (key == 's') TurnAboutEye(2, 1, 0, 0);
    if (key == 'd') TurnAboutEye(2, 0, 1, 0);  // 'd' and 'a' turn twice: 4 degrees a press
    if (key == 'a') TurnAboutEye(2, 0, -1, 0);
    if (key == 'q') TurnAboutEye(2, 0, 0, 1);
    if (key == 'e') TurnAboutEye(2, 0, 0, -1);
    if (key == ' ') animate = !animate;
    if (key == 'p' && haveFrames && frame > 0) {
        --frame;
        JumpToFrame();
    }
    if (key == 'n' && haveFrames && frame < FrameCount() - 1) {
        ++frame;
        JumpToFrame();
    }
    if (key == 'P' && haveFrames) StepFrames(-1);
    if (key == 'N' && haveFrames) StepFrames(+1);
    if (key == 'G' && haveFrames) GoToFrame();
    if (key == 'r' && haveFrames) {
        frame = 0;
        JumpToFrame();
    }
    if (key == 'f' && haveFrames) {
        frame = FrameCount() - 1;
        JumpToFrame();
    }
    if (key == 'L') Reload();
    if (key == 'g') ToggleFog();
    if (key == 't') showTS = !showTS;
    if (key == 13) Snapshot();
    if (key == 'c') ToggleColouring();
    if (key == 'z') FitView();
    if (key == 'Z') ResetView();
    if (key == 'h') PrintHelp();
    if (key == 'V') SaveView();
    if (key == 'l') ToggleAdaptiveDetail();
    // Every key may change the picture or start and stop the animation.
    UpdateIdleCallback();
    glutPostRedisplay();
}
