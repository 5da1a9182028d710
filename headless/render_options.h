// Command-line options of the render mode: `ovalix --render [options] FILE`, checked before anything is loaded.
#pragma once

#include <string>

constexpr int RENDER_USAGE_ERROR = 2;  // exit status of a bad command line
constexpr int RENDER_FAILURE = 1;      // exit status of bad input, an unwritable output or a failed encoder

struct RenderOptions {
    std::string file;          // configuration (or trajectory) to render
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
    bool help = false;         // --help
};

// Parse the arguments that follow --render; false with a message in `error` for a bad one.
bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error);
std::string RenderUsage();  // the usage text with every option of the table
// Resolve the frame range against the trajectory's frame count; false with a message when it lies outside.
bool ResolveFrameRange(RenderOptions& options, int frames, std::string& error);
int FramesToRender(const RenderOptions& options);  // images of the resolved range
// Final name of the image of a frame: the sequence image name, in --out when one is given.
std::string RenderImageName(const RenderOptions& options, int frameNumber);
