// Keys of the periodic box: images of the frame, and positions wrapped into the box.
#pragma once

void CycleImagesKey();  // key I: 1x1x1 / 3x3x3 (3x3x1 for a 2-D run); one line
void ToggleWrapKey();   // key W: positions wrapped into the box / as the file gives them; one line
