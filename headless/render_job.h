// The steps of an offscreen picture, shared by `ovalix --render` and the Python module: the checks, the scene
// loaded and set up from the options, the EGL context and its surfaces, one frame drawn and read back.
#pragma once

#include <string>
#include <vector>

#include "headless/render_options.h"
#include "io/config/view_file.h"

// How a step fails: the message and the exit status the render mode gives it. It must not return.
using RenderFailure = void (*)(const std::string& message, int status);

void CheckBeforeLoading(const RenderOptions& options, ViewSettings& view, RenderFailure fail);  // before any reading
void LoadForRendering(const RenderOptions& options);  // StartScene, with --raycast on before the trajectory is read
void CheckHiddenSpecies(const RenderOptions& options, RenderFailure fail);  // species the run has
void UseDrawingSwitches(const RenderOptions& options, RenderFailure fail);  // as the keys l, i, c, o and C would
// The EGL context on the first call, kept afterwards; `chosen` names the device. Another device asked later fails.
void StartContext(RenderDevice device, std::string& chosen, RenderFailure fail);
void MakeSurfaces(const RenderOptions& options, RenderFailure fail);  // the picture (and K times it), within the GL's limits
void SetUpDrawing(const RenderOptions& options, const ViewSettings* view);  // the window's GL state after its first reshape
void UseLookInsideSwitches(const RenderOptions& options);  // box, slab and hidden species
void DrawFrame(const RenderOptions& options, int frameNumber);  // read and draw one frame into the picture
