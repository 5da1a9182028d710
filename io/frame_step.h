// Going to a frame: the one way the keys, the animation, the loading, the offscreen mode and the Python module
// change the frame shown.
#pragma once

// Frame `index` read into the scene and named by `frame`. An index the trajectory lacks takes the fatal-error
// path and leaves `frame` and the frame held as they were.
void GoToFrame(int index);
