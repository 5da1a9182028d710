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
// The same test with a verdict per record: hidden[i] is 1 where record i is left out; how many are. inner[i]
// (empty: 1 for all) is the share of its ellipsoid, scaled about the centre, that record i's drawing surely
// covers: a tessellation lies inside the true ellipsoid and hides only what its inner ellipsoid hides.
long long HiddenRecords(const std::vector<RaycastRecord>& records, const std::vector<float>& inner,
                        const CullingView& view, std::vector<unsigned char>& hidden);
