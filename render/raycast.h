// Ray-cast ellipsoids: each ellipsoid is one screen quad, the tight bound of its projection, whose fragments
// find the ray's hit with the quadric and light it as the fixed-function drawing lights its tessellations.
// Needs OpenGL 3.3 (or 3.1 with ARB_instanced_arrays) and GLSL 1.30 in a compatibility context.
#pragma once

#include <string>
#include <vector>

#include "core/transparency.h"  // Required for: TransparentPiece
#include "core/view_culling.h"  // Required for: CullingView

bool RaycastAvailable();                 // builds the shaders and buffers on first call; false where the context lacks them
const std::string& RaycastProblem();     // why RaycastAvailable is false, one line
long long DrawRaycastEllipsoids();       // every drawable atom of geom, with the current matrices and lights; returns how many
long long DrawRaycastTransparent(const std::vector<TransparentPiece>& order);  // these atoms in their images, in this order; how many
long long RaycastUploads();              // times the particle records went to the GPU since start-up
long long RaycastRecordsCulled();        // records the last drawing left out as hidden behind nearer ones
bool CullingViewNow(CullingView& view);  // GL's camera now; false where culling could change a pixel
long long SetRaycastBatch(long long ellipsoids);  // ellipsoids per draw call (16,384); returns the one before
