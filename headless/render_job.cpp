// One offscreen picture step by step, as `ovalix --render` makes it for every frame of a job and the Python module
// for each call of render: nothing here ends the process, every failure goes to the caller's RenderFailure.
#include "headless/render_job.h"

#include <GL/gl.h>
#include <algorithm>
#include <iostream>
#include <unistd.h>

#include "core/periodic_images.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "core/transparency.h"
#include "core/visibility.h"
#include "headless/egl_context.h"
#include "headless/frame_output.h"
#include "headless/supersample.h"
#include "io/file_open.h"
#include "io/file_series.h"
#include "io/frame_step.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "io/config/trajectory_config.h"
#include "io/whole_run.h"
#include "render/bitmap_font.h"
#include "render/camera.h"
#include "render/gl_setup.h"
#include "render/overlay.h"
#include "render/picture.h"
#include "render/view_state.h"

namespace {

Offscreen large;                   // K times larger than the picture, when supersampling
std::vector<unsigned char> largePixels, smallPixels;
bool raycastAsked = false;         // --raycast: on before the trajectory is read, so that no hint asks for it
RenderDevice contextDevice = RenderDevice::Any;  // what the kept context was asked for
std::string contextChosen;         // and what it is

void SwitchOnAskedRaycast() {
    if (raycastAsked) raycastEllipsoids = true;
}

// Several names are trajectory files of one kind, opened as one series; a configuration goes alone.
void CheckSeriesFiles(const RenderOptions& options, RenderFailure fail) {
    if (options.files.size() < 2) return;
    const TrajectoryKind first = RecogniseTrajectory(options.files.front());
    for (const std::string& name : options.files) {
        TrajectoryKind kind = RecogniseTrajectory(name);
        if (kind == NOT_A_TRAJECTORY)
            fail(name + " is no trajectory file: several files are rendered as one series, a configuration alone.",
                 RENDER_FAILURE);
        if (kind != first) fail(name + " is another kind of trajectory than " + options.files.front() + ".", RENDER_FAILURE);
    }
    ListSeriesFiles(options.files);
}

std::string SizeText(long long width, long long height) { return std::to_string(width) + "x" + std::to_string(height); }

// A quantity the trajectory lacks is a mistake in the job: no pictures in species colours instead.
void RefuseMissingQuantity(RenderFailure fail) {
    if (!colourByName.empty() && FindQuantity(colourByName) == SPECIES_COLOURS)
        fail(MissingQuantityText() + ".", RENDER_USAGE_ERROR);
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
    ReadPicture(large.width, large.height, largePixels);
    AverageDown(largePixels, options.width, options.height, k, smallPixels);
    BindPictureSurface();
    Reshape(options.width, options.height);
    DrawPixelsAt(options.width, options.height, smallPixels.data());
    if (showTS) ShowTimeStep();
}

// Images and wrap of the command line, after the view file's and before the fit, which frames what they show.
void UsePeriodicSwitches(const RenderOptions& options) {
    if (options.imagesGiven) {
        for (int k = 0; k < 3; ++k) imageCounts[k] = options.images[k];
        std::string noBox = ImagesWithoutBoxLine();
        if (!noBox.empty()) std::cout << noBox << std::endl;
    }
    if (options.wrap) SwitchWrapping(true);
}

}  // namespace

void CheckBeforeLoading(const RenderOptions& options, ViewSettings& view, RenderFailure fail) {
    if (HasPattern(options.file) && MatchPattern(options.file).empty()) fail("No file matches " + options.file + ".", RENDER_FAILURE);
    for (const std::string& name : options.files)
        if (!HasPattern(name) && (access(name.c_str(), R_OK) != 0 || IsFolderPath(name)))
            fail("The file " + name + " cannot be read.", RENDER_FAILURE);
    CheckSeriesFiles(options, fail);
    if (!options.outDir.empty() && !IsFolderPath(options.outDir))
        fail("The output folder " + options.outDir + " does not exist.", RENDER_FAILURE);
    if (!options.outDir.empty() && access(options.outDir.c_str(), W_OK) != 0)
        fail("The output folder " + options.outDir + " is not writable.", RENDER_FAILURE);
    std::string error;
    if (!options.viewFile.empty() && !ReadViewFile(options.viewFile, view, error)) fail(error, RENDER_FAILURE);
    if (!options.movie.empty() && !FindOnPath("ffmpeg"))
        fail("ffmpeg was not found on the PATH; --movie needs it (Debian package ffmpeg).", RENDER_FAILURE);
    if (!options.movie.empty() && !FindOnPath("ffprobe"))
        fail("ffprobe was not found on the PATH; --movie needs it to check the movie (Debian package ffmpeg).",
             RENDER_FAILURE);
}

void LoadForRendering(const RenderOptions& options) {
    raycastAsked = options.raycast;
    workerThreads = options.threads;
    StartScene(options.file, SwitchOnAskedRaycast);
}

// Species are known once the trajectory is read: hiding one the run does not have is a mistake in the command.
void CheckHiddenSpecies(const RenderOptions& options, RenderFailure fail) {
    for (int n : options.hiddenSpecies)
        if (n > species)
            fail("--hide-species asks for species " + std::to_string(n) + ", but the run has only " +
                     std::to_string(species) + " species.",
                 RENDER_USAGE_ERROR);
}

// Opacities of the command line over the configuration's; species are known once the trajectory is read.
static void UseTransparencySwitches(const RenderOptions& options, RenderFailure fail) {
    for (std::size_t k = 0; k < options.transparentSpecies.size(); ++k) {
        int n = options.transparentSpecies[k];
        if (n > species)
            fail("--transparency asks for species " + std::to_string(n) + ", but the run has only " +
                     std::to_string(species) + " species.",
                 RENDER_USAGE_ERROR);
        SetSpeciesOpacity(n, options.transparentOpacity[k]);
    }
}

// The switches of the command line add to what the configuration switched on, as the keys l, i and c would.
void UseDrawingSwitches(const RenderOptions& options, RenderFailure fail) {
    if (options.adaptiveDetail) adaptiveDetail = true;
    if (options.raycast) raycastEllipsoids = true;
    if (options.colourByOrientation) {
        colourByOrientation = true;
        orderFrameChanged = true;
    }
    if (options.unwrap) StartUnwrapping();
    if (options.ambientOcclusion) {
        ambientOcclusion = true;
        if (options.occlusionStrength >= 0) occlusionStrength = options.occlusionStrength;
    }
    if (options.localOrderGiven) {
        UseLocalOrderSettings(options.localOrder);
        localOrderAsked = true;
    }
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
        RefuseMissingQuantity(fail);
        std::string runRange = TakeRunRange();
        if (!runRange.empty()) std::cout << runRange << std::endl;
        std::cout << ApplyColourBy() << std::endl;
    }
    RefuseMissingQuantity(fail);  // also one the configuration's colour_by named
    UseTransparencySwitches(options, fail);
}

void StartContext(RenderDevice device, std::string& chosen, RenderFailure fail) {
    if (HasOffscreenContext()) {
        // GL objects of the scene (display lists, shaders) live in the kept context: it is never replaced.
        if (device != RenderDevice::Any && device != contextDevice)
            fail("The renderer is already " + contextChosen.substr(0, contextChosen.find(':')) +
                     "; the device is chosen by the first picture of the process.",
                 RENDER_USAGE_ERROR);
        if (!MakeOffscreenContextCurrent()) fail("EGL cannot make the renderer's context current.", RENDER_FAILURE);
        chosen = contextChosen;
        return;
    }
    std::string error;
    if (!CreateOffscreenContext(device, chosen, error)) fail(error, RENDER_FAILURE);
    contextDevice = chosen.rfind("drawing on the GPU", 0) == 0 ? RenderDevice::Gpu : RenderDevice::Cpu;
    contextChosen = chosen;
}

// Framebuffers of the size asked for (and K times that), refused beyond what the GL draws.
void MakeSurfaces(const RenderOptions& options, RenderFailure fail) {
    int maxWidth = 0, maxHeight = 0;
    MaxDrawableSize(maxWidth, maxHeight);
    long long k = options.supersample;
    if (options.width * k > maxWidth || options.height * k > maxHeight) {
        std::string asked = SizeText(options.width, options.height);
        if (k > 1) asked += " supersampled " + std::to_string(k) + " times (" + SizeText(options.width * k, options.height * k) + ")";
        fail("The size " + asked + " is beyond what this GL draws (GL_MAX_RENDERBUFFER_SIZE, GL_MAX_VIEWPORT_DIMS): " +
                 SizeText(maxWidth, maxHeight) + " at most.",
             RENDER_USAGE_ERROR);
    }
    std::string error;
    DestroyOffscreen(large);
    if (k > 1 && !CreateOffscreen(options.width * options.supersample, options.height * options.supersample, large, error))
        fail(error, RENDER_FAILURE);
    if (!CreatePictureSurface(options.width, options.height, error)) fail(error, RENDER_FAILURE);
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
    UsePeriodicSwitches(options);
    // On the frame StartScene read, so that every chunk of a job agrees; a saved view wins over fit_view.
    if (options.fit || (view == nullptr && fitViewOnLoad)) FitFrameInView();
}

// Box, slab and hidden species of the command line add to the configuration's and the view file's.
void UseLookInsideSwitches(const RenderOptions& options) {
    if (options.box) showBox = true;
    if (options.slabGiven) {
        SlabCut cut = {true, {options.slab[0], options.slab[1], options.slab[2]}, options.slab[3], options.slab[4]};
        if (NormaliseSlabNormal(cut)) slab = cut;
    }
    for (int n : options.hiddenSpecies) SetSpeciesHidden(n, true);
    if (!options.transparentSpecies.empty()) SetTransparencyOn(true);  // even where the view file had it off
}

// One frame drawn as the window's display function draws it when it writes a sequence image.
void DrawFrame(const RenderOptions& options, int frameNumber) {
    GoToFrame(frameNumber);
    if (options.supersample > 1) DrawSupersampled(options);
    else DrawPicture();
    glFinish();
}

