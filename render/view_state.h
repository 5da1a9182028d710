// The view of the OpenGL state: taken from the window into a view file, and put back in the render mode.
#pragma once

#include "io/config/view_file.h"

ViewSettings CaptureView();                // modelview, eye-space light positions, light mode, fog, overlay
void ApplyView(const ViewSettings& view);  // the captured view, exactly; the matrix mode is left at modelview
