// Command-line options of the render mode: `ovalix --render [options] FILE...`, checked before anything is loaded.
#pragma once

#include <string>
#include <vector>

#include "core/local_order.h"
#include "headless/egl_context.h"

constexpr int RENDER_USAGE_ERROR = 2;  // exit status of a bad command line
constexpr int RENDER_FAILURE = 1;      // exit status of bad input, an unwritable output or a failed encoder

struct RenderOptions {
    std::string file;          // configuration (or trajectory) to render; the first of `files`
    std::vector<std::string> files;  // every name given: several are trajectory files of one series
    bool allFrames = true;     // no --frames: every frame of the trajectory
    int first = 0;             // --frames A:B:S, inclusive, 0-based
    int last = 0;
    int step = 1;
    int width = 1024;          // --size WxH
    int height = 640;
    std::string format = ".png";  // --format, with its dot as sequence images name it
    std::string outDir;        // --out; empty: next to the trajectory
    std::string viewFile;      // --view; empty: the window's start-up view
    std::string movie;         // --movie; empty: one image file per frame
    int fps = 25;              // --fps, for --movie
    bool adaptiveDetail = false;       // --adaptive-detail, as the key l or the configuration's adaptive_detail
    bool raycast = false;              // --raycast, as the key i or the configuration's raycast
    bool colourByOrientation = false;  // --colour-by-orientation, as the key c
    bool fit = false;          // --fit: the view of the key z on the start-up frame, kept for every frame
    int supersample = 1;       // --supersample K: drawn K x K times larger and averaged down
    RenderDevice device = RenderDevice::Any;  // --gpu or --cpu
    int threads = 0;           // --threads N: threads reading frames and writing images; 0: one per core
    bool box = false;          // --box, as the key b or the configuration's show_box
    bool slabGiven = false;    // --slab NX,NY,NZ,OFFSET,WIDTH, as the configuration's slab
    double slab[5] = {0, 0, 1, 0, 1};
    std::vector<int> hiddenSpecies;  // --hide-species N,..., as the keys 1 to 9
    std::string colourBy;              // --colour-by NAME[:MIN:MAX|:all], as the configuration's colour_by
    bool colourByFixed = false;        // MIN and MAX were given
    bool colourByWholeRun = false;     // NAME:all: the range over every frame
    double colourByLow = 0, colourByHigh = 1;
    bool unwrap = false;               // --unwrap, as the configuration's unwrap
    bool fixedCentre = false;          // --fixed-centre, as the key O or the configuration's fixed_centre
    bool ambientOcclusion = false;     // --ambient-occlusion[=STRENGTH], as the key o or ambient_occlusion
    double occlusionStrength = -1;     // the STRENGTH given; below 0: the configuration's or the default
    std::vector<int> transparentSpecies;       // --transparency N:OPACITY, repeatable, as the configuration's transparency
    std::vector<double> transparentOpacity;    // the opacity of each of them, 0 to 1
    bool imagesGiven = false;          // --images NXxNYxNZ, as the key I or the configuration's images
    int images[3] = {1, 1, 1};
    bool wrap = false;                 // --wrap, as the key W or the configuration's wrap
    bool localOrderGiven = false;      // --local-order RC[:ANGLE[:MIN]], as the configuration's local_order
    LocalOrderSettings localOrder;
    bool help = false;         // --help
    bool version = false;      // --version
};

constexpr int MAX_SUPERSAMPLE = 4;
constexpr int MAX_THREADS = 1024;

// Parse the arguments that follow --render; false with a message in `error` for a bad one.
bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error);
std::string RenderUsage();  // the usage text with every option of the table
bool SetLocalOrderOption(RenderOptions& o, const std::string& value, std::string& error);  // --local-order RC[:ANGLE[:MIN]]
// Resolve the frame range against the trajectory's frame count; false with a message when it lies outside.
bool ResolveFrameRange(RenderOptions& options, int frames, std::string& error);
int FramesToRender(const RenderOptions& options);  // images of the resolved range
// Final name of the image of a frame: the sequence image name, in --out when one is given.
std::string RenderImageName(const RenderOptions& options, int frameNumber);
