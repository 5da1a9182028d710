// The current matrices and viewport, read once per redraw for the adaptive choice of subdivisions.
#pragma once

#include "core/detail.h"

DetailView ReadDetailView();  // modelview, projection and viewport as OpenGL holds them now
