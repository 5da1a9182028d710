// The picture of the frame in geom: the one drawing that the window, snapshots and the offscreen mode share.
#pragma once

void DrawPicture();  // clear, the scene centred on its mean position, the box and pick marks, then the overlay when on
