// Keyboard commands: movement, frames, animation, fog, overlay, snapshot, reload and quit.
#include "ui/keyboard.h"

#include <GL/freeglut.h>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>

#include "core/scene.h"
#include "io/trajectory.h"
#include "export/screenshot.h"
#include "io/load.h"
#include "ui/animation.h"
#include "render/textures.h"
#include "render/camera.h"
#include "ui/view_commands.h"
#include "render/view_state.h"

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

// After the new configuration is read: the window's title, textures, background and fog colour follow it.
static void TakeNewConfiguration() {
    glutSetWindowTitle(title.c_str());
    if (!ellipsoidtexture.empty()) LoadTextures(ellipsoidtexture, 0);
    if (!bondtexture.empty()) LoadTextures(bondtexture, 1);
    glClearColor(BGColor[0], BGColor[1], BGColor[2], BGColor[3]);
    glFogfv(GL_FOG_COLOR, FogColor);
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
    LoadScene(name, TakeNewConfiguration);
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
