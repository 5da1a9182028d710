// ovalix --render: draws frames of a trajectory into an EGL framebuffer object, with no window system at all,
// through the same loading and drawing code as the window, and writes one image per frame or one movie.
#include "headless/render_mode.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "export/image_file.h"
#include "headless/egl_context.h"
#include "headless/frame_output.h"
#include "headless/image_pipeline.h"
#include "headless/render_job.h"
#include "headless/render_options.h"
#include "headless/render_progress.h"
#include "io/config/view_file.h"
#include "io/trajectory.h"

#ifndef OVALIX_VERSION
#define OVALIX_VERSION "unknown"
#endif

namespace {

RenderProgress progress;  // frames written so far

// Every way out of the job (a failure here, a reader's fatal error, the end) leaves no unfinished file.
// ffmpeg is stopped first, so that it cannot create the movie's temporary after it was removed.
void CleanUpAtExit() {
    std::string error;
    FinishImageWrite(error);
    DropConsole();
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

// The image written on the worker is done: its failure ends the run before anything held of the frame after it
// is told; else it counts, and what was held is told.
void FinishPendingImage() {
    if (!ImageWritePending()) return;
    std::string error;
    if (!FinishImageWrite(error)) {
        DropConsole();
        Fail(error);
    }
    StopHoldingConsole();
    ReportProgress(progress, 1);
    TellHeldConsole();
}

// One image a frame: written on a worker while the next frame is read and drawn, unless one thread is asked for.
void RenderFrames(const RenderOptions& options) {
    std::string error;
    bool movie = !options.movie.empty();
    bool pipelined = !movie && workerThreads != 1;
    if (movie && !OpenMovie(options.movie, options.width, options.height, options.fps, error)) Fail(error);
    progress = StartProgress(FramesToRender(options), isatty(2) != 0);
    for (int k = options.first; k <= options.last; k += options.step) {
        DrawFrame(options, k);
        if (pipelined) {
            FinishPendingImage();
            StartImageWrite(RenderImageName(options, k));
        } else {
            bool written = movie ? WriteMovieFrame(error) : WriteFrameImage(RenderImageName(options, k), error);
            if (!written) Fail(error);
            ReportProgress(progress, 1);
        }
        if (k > options.last - options.step) break;  // the next step would pass the end (and int's range)
    }
    FinishPendingImage();
    FinishProgress(progress);
    if (movie && !CloseMovie(error)) Fail(error);
}

// A batch job never waits and must see the failure: after the image before the failing frame is written.
void StopRendering(const std::string&) {
    FinishPendingImage();
    std::cerr << "ovalix --render: stopped by the error above." << std::endl;
    std::exit(1);
}

}  // namespace

int RunRenderMode(int argc, char** argv) {
    headless = true;
    fatalEnding = StopRendering;
    quietEnding = [] {
        FinishPendingImage();
        std::exit(1);
    };
    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(argc - 2, argv + 2, options, error)) Fail(error + "\n" + RenderUsage(), RENDER_USAGE_ERROR);
    if (options.help || options.version) {
        std::cout << (options.help ? RenderUsage() : std::string("ovalix " OVALIX_VERSION "\n"));
        return 0;
    }
    HandleStopSignals();
    ViewSettings view{};
    CheckBeforeLoading(options, view, Fail);
    LoadForRendering(options);
    CheckHiddenSpecies(options, Fail);
    UseDrawingSwitches(options, Fail);
    if (!ResolveFrameRange(options, FrameCount(), error)) Fail(error);
    std::string chosen;
    StartContext(options.device, chosen, Fail);
    std::cerr << "ovalix --render: " << chosen << std::endl;
    MakeSurfaces(options, Fail);
    SetUpDrawing(options, options.viewFile.empty() ? nullptr : &view);
    UseLookInsideSwitches(options);
    RenderFrames(options);
    CloseFile();
    DestroyOffscreenContext();
    return 0;
}
