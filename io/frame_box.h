// The box of the frame in geom, as the dump's "ITEM: BOX BOUNDS" gives it.
#pragma once

#include "core/scene.h"  // Required for: DumpBox, frameBox

void SetFrameBoxFromDump(const DumpBox& box);  // frameBox from a box read by ParseBoxBounds (orthogonal or tilted)
