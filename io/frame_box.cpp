// The box of the frame in geom, from the dump's bounds: its corner and its three edge vectors.
#include "io/frame_box.h"

// ParseBoxBounds has already taken the tilts out of the bounding box, so lo is the corner the edges start from
// and the lengths are those of the box itself: a = (lx, 0, 0), b = (xy, ly, 0), c = (xz, yz, lz).
void SetFrameBoxFromDump(const DumpBox& box) {
    frameBox.exists = true;
    for (int k = 0; k < 3; ++k) frameBox.origin[k] = box.lo[k];
    const double edges[3][3] = {{box.length[0], 0, 0}, {box.xy, box.length[1], 0}, {box.xz, box.yz, box.length[2]}};
    for (int e = 0; e < 3; ++e)
        for (int k = 0; k < 3; ++k) frameBox.edges[e][k] = edges[e][k];
}
