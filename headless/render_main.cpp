// ovalix --render: draws frames of a trajectory into an offscreen OSMesa context, with no window system at all,
// through the same loading and drawing code as the window, and writes one image per frame or one movie.
#include <GL/osmesa.h>
#include <GL/glu.h>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "headless/render_options.h"
#include "headless/render_progress.h"
#include "core/scene.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "headless/frame_output.h"
#include "io/view_file.h"
#include "render/bitmap_font.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"
#include "render/overlay.h"
#include "render/picture.h"
#include "render/view_state.h"

namespace {

OSMesaContext context = nullptr;
std::vector<unsigned char> pixels;  // the offscreen colour buffer, RGBA

[[noreturn]] void Fail(const std::string& message, int status = RENDER_FAILURE) {
    std::cout << std::flush;
    AbandonMovie();
    std::cerr << "ovalix --render: " << message << std::endl;
    std::exit(status);
}

bool IsFolder(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Everything that can be told before the trajectory is read, so that a bad job fails at once.
void CheckBeforeLoading(const RenderOptions& options, ViewSettings& view) {
    if (access(options.file.c_str(), R_OK) != 0) Fail("The file " + options.file + " cannot be read.");
    if (!options.outDir.empty() && !IsFolder(options.outDir)) Fail("The output folder " + options.outDir + " does not exist.");
    if (!options.outDir.empty() && access(options.outDir.c_str(), W_OK) != 0)
        Fail("The output folder " + options.outDir + " is not writable.");
    std::string error;
    if (!options.viewFile.empty() && !ReadViewFile(options.viewFile, view, error)) Fail(error);
    if (!options.movie.empty() && !FindOnPath("ffmpeg"))
        Fail("ffmpeg was not found on the PATH; --movie needs it (Debian package ffmpeg).");
}

// An offscreen RGBA context with a depth buffer, of the size asked for if OSMesa allows it.
void CreateOffscreenContext(int width, int height) {
    context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (context == nullptr) Fail("OSMesa could not create an OpenGL context.");
    unsigned char probe[4];
    if (!OSMesaMakeCurrent(context, probe, GL_UNSIGNED_BYTE, 1, 1)) Fail("OSMesa could not make its context current.");
    int maxWidth = 0, maxHeight = 0;
    OSMesaGetIntegerv(OSMESA_MAX_WIDTH, &maxWidth);
    OSMesaGetIntegerv(OSMESA_MAX_HEIGHT, &maxHeight);
    if (width > maxWidth || height > maxHeight)
        Fail("The size " + std::to_string(width) + "x" + std::to_string(height) + " is beyond what OSMesa draws here: " +
             std::to_string(maxWidth) + "x" + std::to_string(maxHeight) + " at most.", RENDER_USAGE_ERROR);
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    if (!OSMesaMakeCurrent(context, pixels.data(), GL_UNSIGNED_BYTE, width, height))
        Fail("OSMesa could not make its context current at " + std::to_string(width) + "x" + std::to_string(height) + ".");
    OSMesaPixelStore(OSMESA_Y_UP, 1);
}

// The GL state of the window after its first reshape, at this size, in the saved view if there is one.
void SetUpDrawing(const RenderOptions& options, const ViewSettings* view) {
    window_width = options.width;
    window_height = options.height;
    bitfont = const_cast<BitmapFont*>(&fixedFont8x13);
    MyGLInit();
    Reshape(options.width, options.height);
    format = options.format;
    if (view != nullptr) ApplyView(*view);
}

// The switches of the command line add to what the configuration switched on, as the keys l, i and c would.
void UseDrawingSwitches(const RenderOptions& options) {
    if (options.adaptiveDetail) adaptiveDetail = true;
    if (options.raycast) raycastEllipsoids = true;
    if (options.colourByOrientation) {
        colourByOrientation = true;
        orderFrameChanged = true;
    }
}

// One frame drawn as the window's display function draws it when it writes a sequence image.
void DrawFrame(int frameNumber) {
    frame = frameNumber;
    ReadFrame();
    DrawPicture();
    glFinish();
}

void RenderFrames(const RenderOptions& options) {
    std::string error;
    bool movie = !options.movie.empty();
    if (movie && !OpenMovie(options.movie, options.width, options.height, options.fps, error)) Fail(error);
    RenderProgress progress = StartProgress(FramesToRender(options), isatty(2) != 0);
    for (int k = options.first; k <= options.last; k += options.step) {
        DrawFrame(k);
        bool written = movie ? WriteMovieFrame(error) : WriteFrameImage(RenderImageName(options, k), error);
        if (!written) Fail(error);
        ReportProgress(progress, 1);
        if (k > options.last - options.step) break;  // the next step would pass the end (and int's range)
    }
    FinishProgress(progress);
    if (movie && !CloseMovie(error)) Fail(error);
}

}  // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(argc - 1, argv + 1, options, error))
        Fail(error + "\n" + RenderUsage(), RENDER_USAGE_ERROR);
    if (options.help) {
        std::cout << RenderUsage();
        return 0;
    }
    ViewSettings view{};
    CheckBeforeLoading(options, view);
    StartScene(options.file);
    UseDrawingSwitches(options);
    if (!ResolveFrameRange(options, FrameCount(), error)) Fail(error);
    CreateOffscreenContext(options.width, options.height);
    SetUpDrawing(options, options.viewFile.empty() ? nullptr : &view);
    RenderFrames(options);
    CloseFile();
    OSMesaDestroyContext(context);
    return 0;
}
