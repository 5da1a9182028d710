// Keyboard commands: movement, frames, animation, fog, overlay, snapshot, reload and quit.
#include "ui/keyboard.h"

#include <GL/freeglut.h>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>

#include "core/occlusion.h"
#include "core/scene.h"
#include "io/trajectory.h"
#include "export/screenshot.h"
#include "io/frame_step.h"
#include "io/load.h"
#include "ui/animation.h"
#include "render/raycast.h"
#include "render/textures.h"
#include "render/camera.h"
#include "ui/inside_commands.h"
#include "ui/periodic_commands.h"
#include "ui/view_commands.h"

// Shows frame `index`; stepping through the frames stops a running animation.
static void JumpToFrame(int index) {
    GoToFrame(index);
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
    if (direction < 0) JumpToFrame(target <= 0 ? 0 : target);
    else JumpToFrame(target >= frames - 1 ? frames - 1 : target);
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

static void AskForFrame() {
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
    std::cout << "Going to frame " << n << std::endl;
    std::cin.clear();
    JumpToFrame(n);
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
    if (fitViewOnLoad) FitView();
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

// Where the context cannot ray-cast, the key says why in one line and the drawing stays as it was.
static void ToggleRaycast() {
    if (!raycastEllipsoids && !RaycastAvailable()) {
        std::cout << "Ray-cast ellipsoids are not available: " << RaycastProblem() << "." << std::endl;
        return;
    }
    raycastEllipsoids = !raycastEllipsoids;
    std::cout << (raycastEllipsoids ? "Ray-cast ellipsoids on." : "Ray-cast ellipsoids off.") << std::endl;
}

static void ToggleAmbientOcclusion() { std::cout << ToggleAmbientOcclusionText() << std::endl; }

static void Snapshot() {
    PrintSnapshot();
    ReanchorLights();
    glutPostRedisplay();
}

// Frame commands need frame offsets; with none they do nothing.
static bool HaveFrames() { return !counter.empty(); }

static void CloserKey() { MoveAlongEye(2, 0, 0, 1); }
static void FartherKey() { MoveAlongEye(-2, 0, 0, 1); }
// 'd' and 'a' turn twice: 4 degrees a press.
static void TurnRightKey() {
    TurnAboutEye(2, 0, 1, 0);
    TurnAboutEye(2, 0, 1, 0);
}
static void TurnLeftKey() {
    TurnAboutEye(2, 0, -1, 0);
    TurnAboutEye(2, 0, -1, 0);
}
static void TurnUpKey() { TurnAboutEye(2, -1, 0, 0); }
static void TurnDownKey() { TurnAboutEye(2, 1, 0, 0); }
static void SpinLeftKey() { TurnAboutEye(2, 0, 0, 1); }
static void SpinRightKey() { TurnAboutEye(2, 0, 0, -1); }
static void AnimateKey() { animate = !animate; }
static void PreviousFrameKey() {
    if (!HaveFrames() || frame <= 0) return;
    JumpToFrame(frame - 1);
}
static void NextFrameKey() {
    if (!HaveFrames() || frame >= FrameCount() - 1) return;
    JumpToFrame(frame + 1);
}
static void TenthBackKey() {
    if (HaveFrames()) StepFrames(-1);
}
static void TenthForwardKey() {
    if (HaveFrames()) StepFrames(+1);
}
static void GoToFrameKey() {
    if (HaveFrames()) AskForFrame();
}
static void FirstFrameKey() {
    if (HaveFrames()) JumpToFrame(0);
}
static void LastFrameKey() {
    if (HaveFrames()) JumpToFrame(FrameCount() - 1);
}
static void OverlayKey() { showTS = !showTS; }
static void SlabBackKey() { MoveSlab(-1); }
static void SlabForwardKey() { MoveSlab(+1); }
static void SlabThinnerKey() { ScaleSlab(0.5); }
static void SlabThickerKey() { ScaleSlab(2.0); }
template <int N>
void SpeciesKey() { ToggleSpecies(N); }

// Every key command: the characters that run it, how the help list names them, what it does, its help line.
// The handler, the 'h' list and (checked by a unit test) the README's and the manual page's key lists follow it.
const KeyCommand KEY_COMMANDS[] = {
    {" ", "space", AnimateKey, "start or stop the animation"},
    {"p", "p / n", PreviousFrameKey, "previous / next frame"},
    {"n", nullptr, NextFrameKey, nullptr},
    {"P", "P / N", TenthBackKey, "back / forward a tenth of the frames"},
    {"N", nullptr, TenthForwardKey, nullptr},
    {"r", "r / f", FirstFrameKey, "first / last frame"},
    {"f", nullptr, LastFrameKey, nullptr},
    {"G", "G", GoToFrameKey, "go to a frame (asks on the console)"},
    {"d", "d / a", TurnRightKey, "turn the scene right / left (4 degrees)"},
    {"a", nullptr, TurnLeftKey, nullptr},
    {"w", "w / s", TurnUpKey, "turn the scene up / down (2 degrees)"},
    {"s", nullptr, TurnDownKey, nullptr},
    {"q", "q / e", SpinLeftKey, "spin the scene counter-clockwise / clockwise (2 degrees)"},
    {"e", nullptr, SpinRightKey, nullptr},
    {"+=", "+ or =", CloserKey, "move the scene 2 units closer"},
    {"-_", "- or _", FartherKey, "move the scene 2 units farther away"},
    {"g", "g", ToggleFog, "fog on / off"},
    {"t", "t", OverlayKey, "time-step overlay on / off"},
    {"c", "c", ToggleColouring, "colour by species / by orientation to the director (prints the order parameter)"},
    {"C", "C", CycleQuantityColouring, "colour by species / by each per-particle quantity of the file in turn"},
    {"z", "z", FitView, "fit the frame into the window, keeping the rotation"},
    {"Z", "Z", ResetView, "start-up view, then fit"},
    {"l", "l", ToggleAdaptiveDetail, "adaptive level of detail on / off"},
    {"i", "i", ToggleRaycast, "ray-cast (exact) ellipsoids on / off, in place of the tessellations"},
    {"\r", "Enter", Snapshot, "snapshot Screen_NNNN_FFFF in the working directory (never overwrites)"},
    {"V", "V", SaveView, "write the view to TRAJECTORY.view, for ovalix --render --view"},
    {"L", "L", Reload, "reload from a configuration file (asks on the console)"},
    {"b", "b", ToggleBox, "simulation box shown / hidden"},
    {"T", "T", ToggleTransparency, "configured transparency on / off (transparency SPECIES OPACITY)"},
    {"I", "I", CycleImagesKey, "periodic images 1x1x1 / 3x3x3 (3x3x1 for a 2-D run)"},
    {"W", "W", ToggleWrapKey, "positions wrapped into the box on / off"},
    {"O", "O", ToggleFixedCentre, "centre every frame on frame 0's box centre / on its own mean position"},
    {"o", "o", ToggleAmbientOcclusion, "ambient occlusion on / off: each particle darkened by the ellipsoids around it"},
    {"x", "x", ToggleSlab, "slab cut across the view direction on / off"},
    {"[", "[ / ]", SlabBackKey, "move the slab back / forward by a tenth of its width"},
    {"]", nullptr, SlabForwardKey, nullptr},
    {"{", "{ / }", SlabThinnerKey, "halve / double the slab's width"},
    {"}", nullptr, SlabThickerKey, nullptr},
    {"1", "1 ... 9", SpeciesKey<1>, "hide / show species 1 to 9"},
    {"2", nullptr, SpeciesKey<2>, nullptr},
    {"3", nullptr, SpeciesKey<3>, nullptr},
    {"4", nullptr, SpeciesKey<4>, nullptr},
    {"5", nullptr, SpeciesKey<5>, nullptr},
    {"6", nullptr, SpeciesKey<6>, nullptr},
    {"7", nullptr, SpeciesKey<7>, nullptr},
    {"8", nullptr, SpeciesKey<8>, nullptr},
    {"9", nullptr, SpeciesKey<9>, nullptr},
    {"0", "0", ShowAllSpecies, "show every species"},
    {"h", "h", PrintHelp, "print this list of keys, mouse actions and menu entries"},
    {"Q\x1b", "Q or Esc", Quit, "quit"},
};
const int KEY_COMMAND_COUNT = static_cast<int>(sizeof KEY_COMMANDS / sizeof KEY_COMMANDS[0]);

const KeyCommand* KeyCommandOf(char key) {
    for (const KeyCommand& command : KEY_COMMANDS)
        if (key != '\0' && std::strchr(command.keys, key) != nullptr) return &command;
    return nullptr;
}

void KeyHandler(unsigned char key, int, int) {
    for (const KeyCommand& command : KEY_COMMANDS) {
        if (key != 0 && std::strchr(command.keys, key) != nullptr) command.action();
    }
    // Every key may change the picture or start and stop the animation.
    UpdateIdleCallback();
    glutPostRedisplay();
}
