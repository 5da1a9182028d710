// Occlusion culling for the ray-cast drawing: the records that nearer opaque ellipsoids certainly cover at every
// pixel they could reach are left out before drawing, which changes no pixel. Free of OpenGL.
#pragma once

#include <vector>

#include "core/raycast_records.h"  // Required for: RaycastRecord

struct CullingView {      // the camera of a drawing as OpenGL holds it
    double modelview[16];  // column-major
    double projection[16]; // column-major
    int viewport[4];       // x, y, width, height in pixels
    double depthRange[2];  // glDepthRange's near and far
    int depthBits;         // of the depth buffer drawn into
};

bool CullingExact(const CullingView& view);  // a perspective projection the test below is worked out for
// The records some pixel may still show, in their order, into `kept`; how many were left out. Every record
// in `records` is an opaque one drawn under `view` with depth test LEQUAL.
long long KeepVisibleRecords(const std::vector<RaycastRecord>& records, const CullingView& view,
                             std::vector<RaycastRecord>& kept);
