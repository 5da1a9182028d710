// ovalix --render: draws frames of a trajectory into an EGL framebuffer object, with no window system at all,
// through the same loading and drawing code as the window, and writes one image per frame or one movie.
#include "headless/render_mode.h"

#include <GL/gl.h>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/quantity_colour.h"
#include "core/exit_sequence.h"
#include "core/scene.h"
#include "core/visibility.h"
#include "export/image_file.h"
#include "headless/egl_context.h"
#include "headless/frame_output.h"
#include "headless/render_options.h"
#include "headless/render_progress.h"
#include "headless/supersample.h"
#include "io/file_open.h"
#include "io/file_series.h"
#include "io/frame_step.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "io/config/trajectory_config.h"
#include "io/config/view_file.h"
#include "io/whole_run.h"
#include "render/bitmap_font.h"
#include "render/camera.h"
#include "render/gl_setup.h"
#include "render/overlay.h"
#include "render/picture.h"
#include "render/view_state.h"

#ifndef OVALIX_VERSION
#define OVALIX_VERSION "unknown"
#endif

namespace {

Offscreen picture;                 // the size asked for: what is written
Offscreen large;                   // K times larger, when supersampling
std::vector<unsigned char> largePixels, smallPixels;
bool raycastAsked = false;         // --raycast: on before the trajectory is read, so that no hint asks for it

void SwitchOnAskedRaycast() {
    if (raycastAsked) raycastEllipsoids = true;
}

// Every way out of the job (a failure here, a reader's fatal error, the end) leaves no unfinished file.
// ffmpeg is stopped first, so that it cannot create the movie's temporary after it was removed.
void CleanUpAtExit() {
    StopMovie();
    RemovePendingTemporary();
}

// SIGTERM or SIGINT: stop ffmpeg, remove what is half written, then die of the same signal.
void StopOnSignal(int signal) {
    KillMovieInSignal();
    RemovePendingTemporary();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void HandleStopSignals() {
    struct sigaction action {};
    action.sa_handler = StopOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::atexit(CleanUpAtExit);
}

[[noreturn]] void Fail(const std::string& message, int status = RENDER_FAILURE) {
    std::cout << std::flush;
    std::cerr << "ovalix --render: " << message << std::endl;
    std::exit(status);
}

// Several names are trajectory files of one kind, opened as one series; a configuration goes alone.
void CheckSeriesFiles(const RenderOptions& options) {
    if (options.files.size() < 2) return;
    const TrajectoryKind first = RecogniseTrajectory(options.files.front());
    for (const std::string& name : options.files) {
        TrajectoryKind kind = RecogniseTrajectory(name);
        if (kind == NOT_A_TRAJECTORY)
            Fail(name + " is no trajectory file: several files are rendered as one series, a configuration alone.");
        if (kind != first) Fail(name + " is another kind of trajectory than " + options.files.front() + ".");
    }
    ListSeriesFiles(options.files);
}

// Everything that can be told before the trajectory is read, so that a bad job fails at once.
void CheckBeforeLoading(const RenderOptions& options, ViewSettings& view) {
    if (HasPattern(options.file) && MatchPattern(options.file).empty()) Fail("No file matches " + options.file + ".");
    for (const std::string& name : options.files)
        if (!HasPattern(name) && (access(name.c_str(), R_OK) != 0 || IsFolderPath(name)))
            Fail("The file " + name + " cannot be read.");
    CheckSeriesFiles(options);
    if (!options.outDir.empty() && !IsFolderPath(options.outDir)) Fail("The output folder " + options.outDir + " does not exist.");
    if (!options.outDir.empty() && access(options.outDir.c_str(), W_OK) != 0)
        Fail("The output folder " + options.outDir + " is not writable.");
    std::string error;
    if (!options.viewFile.empty() && !ReadViewFile(options.viewFile, view, error)) Fail(error);
    if (!options.movie.empty() && !FindOnPath("ffmpeg"))
        Fail("ffmpeg was not found on the PATH; --movie needs it (Debian package ffmpeg).");
    if (!options.movie.empty() && !FindOnPath("ffprobe"))
        Fail("ffprobe was not found on the PATH; --movie needs it to check the movie (Debian package ffmpeg).");
}

std::string SizeText(long long width, long long height) { return std::to_string(width) + "x" + std::to_string(height); }

// The context, and framebuffers of the size asked for (and K times that), refused beyond what the GL draws.
void StartDrawing(const RenderOptions& options) {
    std::string chosen, error;
    if (!CreateOffscreenContext(options.device, chosen, error)) Fail(error);
    std::cerr << "ovalix --render: " << chosen << std::endl;
    int maxWidth = 0, maxHeight = 0;
    MaxDrawableSize(maxWidth, maxHeight);
    long long k = options.supersample;
    if (options.width * k > maxWidth || options.height * k > maxHeight) {
        std::string asked = SizeText(options.width, options.height);
        if (k > 1) asked += " supersampled " + std::to_string(k) + " times (" + SizeText(options.width * k, options.height * k) + ")";
        Fail("The size " + asked + " is beyond what this GL draws (GL_MAX_RENDERBUFFER_SIZE, GL_MAX_VIEWPORT_DIMS): " +
             SizeText(maxWidth, maxHeight) + " at most.", RENDER_USAGE_ERROR);
    }
    if (k > 1 && !CreateOffscreen(options.width * options.supersample, options.height * options.supersample, large, error))
        Fail(error);
    if (!CreatePictureSurface(options.width, options.height, error)) Fail(error);
    BindPictureSurface();
}

// The GL state of the window after its first reshape, at this size, in the saved view if there is one.
void SetUpDrawing(const RenderOptions& options, const ViewSettings* view) {
    window_width = options.width;
    window_height = options.height;
    bitfont = nullptr;  // the program's own 8 x 13 glyphs, the same pixels as GLUT's
    overlayScale = std::max(1, options.height / RenderOptions().height);  // whole multiples of the window's 640 rows
    MyGLInit();
    Reshape(options.width, options.height);
    format = options.format;
    if (view != nullptr) ApplyView(*view);
    // On the frame StartScene read, so that every chunk of a job agrees; a saved view wins over fit_view.
    if (options.fit || (view == nullptr && fitViewOnLoad)) FitFrameInView();
}

// Species are known once the trajectory is read: hiding one the run does not have is a mistake in the command.
void CheckHiddenSpecies(const RenderOptions& options) {
    for (int n : options.hiddenSpecies)
        if (n > species)
            Fail("--hide-species asks for species " + std::to_string(n) + ", but the run has only " +
                     std::to_string(species) + " species.",
                 RENDER_USAGE_ERROR);
}

// Box, slab and hidden species of the command line add to the configuration's and the view file's.
void UseLookInsideSwitches(const RenderOptions& options) {
    if (options.box) showBox = true;
    if (options.slabGiven) {
        SlabCut cut = {true, {options.slab[0], options.slab[1], options.slab[2]}, options.slab[3], options.slab[4]};
        if (NormaliseSlabNormal(cut)) slab = cut;
    }
    for (int n : options.hiddenSpecies) SetSpeciesHidden(n, true);
}

// A quantity the trajectory lacks is a mistake in the job: no pictures in species colours instead.
void RefuseMissingQuantity() {
    if (!colourByName.empty() && FindQuantity(colourByName) == SPECIES_COLOURS)
        Fail(MissingQuantityText() + ".", RENDER_USAGE_ERROR);
}

// The switches of the command line add to what the configuration switched on, as the keys l, i and c would.
void UseDrawingSwitches(const RenderOptions& options) {
    if (options.adaptiveDetail) adaptiveDetail = true;
    if (options.raycast) raycastEllipsoids = true;
    if (options.colourByOrientation) {
        colourByOrientation = true;
        orderFrameChanged = true;
    }
    if (options.unwrap) StartUnwrapping();
    if (options.fixedCentre) {
        fixedCentre = true;
        TakeFixedCentre();
    }
    if (!options.colourBy.empty()) {
        colourByName = options.colourBy;
        colourByFixed = options.colourByFixed;
        colourByWholeRun = options.colourByWholeRun;
        colourByLow = options.colourByLow;
        colourByHigh = options.colourByHigh;
        GoToFrame(frame);  // the range is the shown frame's, unwrapped or not
        RefuseMissingQuantity();
        std::string runRange = TakeRunRange();
        if (!runRange.empty()) std::cout << runRange << std::endl;
        std::cout << ApplyColourBy() << std::endl;
    }
    RefuseMissingQuantity();  // also one the configuration's colour_by named
}

// The scene K times larger without the overlay, averaged down into the picture, then the overlay at 1x.
void DrawSupersampled(const RenderOptions& options) {
    int k = options.supersample;
    BindOffscreen(large);
    Reshape(options.width * k, options.height * k);
    bool overlay = showTS;
    showTS = false;
    DrawPicture();
    showTS = overlay;
    largePixels.resize(static_cast<std::size_t>(large.width) * static_cast<std::size_t>(large.height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, large.width, large.height, GL_RGB, GL_UNSIGNED_BYTE, largePixels.data());
    AverageDown(largePixels, options.width, options.height, k, smallPixels);
    BindPictureSurface();
    Reshape(options.width, options.height);
    DrawPixelsAt(options.width, options.height, smallPixels.data());
    if (showTS) ShowTimeStep();
}

// One frame drawn as the window's display function draws it when it writes a sequence image.
void DrawFrame(const RenderOptions& options, int frameNumber) {
    GoToFrame(frameNumber);
    if (options.supersample > 1) DrawSupersampled(options);
    else DrawPicture();
    glFinish();
}

void RenderFrames(const RenderOptions& options) {
    std::string error;
    bool movie = !options.movie.empty();
    if (movie && !OpenMovie(options.movie, options.width, options.height, options.fps, error)) Fail(error);
    RenderProgress progress = StartProgress(FramesToRender(options), isatty(2) != 0);
    for (int k = options.first; k <= options.last; k += options.step) {
        DrawFrame(options, k);
        bool written = movie ? WriteMovieFrame(error) : WriteFrameImage(RenderImageName(options, k), error);
        if (!written) Fail(error);
        ReportProgress(progress, 1);
        if (k > options.last - options.step) break;  // the next step would pass the end (and int's range)
    }
    FinishProgress(progress);
    if (movie && !CloseMovie(error)) Fail(error);
}

// A batch job never waits and must see the failure.
void StopRendering(const std::string&) {
    std::cerr << "ovalix --render: stopped by the error above." << std::endl;
    std::exit(1);
}

}  // namespace

int RunRenderMode(int argc, char** argv) {
    headless = true;
    fatalEnding = StopRendering;
    quietEnding = [] { std::exit(1); };
    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(argc - 2, argv + 2, options, error)) Fail(error + "\n" + RenderUsage(), RENDER_USAGE_ERROR);
    if (options.help || options.version) {
        std::cout << (options.help ? RenderUsage() : std::string("ovalix " OVALIX_VERSION "\n"));
        return 0;
    }
    HandleStopSignals();
    ViewSettings view{};
    CheckBeforeLoading(options, view);
    raycastAsked = options.raycast;
    StartScene(options.file, SwitchOnAskedRaycast);
    CheckHiddenSpecies(options);
    UseDrawingSwitches(options);
    if (!ResolveFrameRange(options, FrameCount(), error)) Fail(error);
    StartDrawing(options);
    SetUpDrawing(options, options.viewFile.empty() ? nullptr : &view);
    UseLookInsideSwitches(options);
    RenderFrames(options);
    CloseFile();
    DestroyOffscreenContext();
    return 0;
}
