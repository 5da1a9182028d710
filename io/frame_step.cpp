// Going to a frame of the open trajectory.
#include "io/frame_step.h"

#include "core/scene.h"
#include "io/trajectory.h"

void GoToFrame(int index) {
    entry(counter, index, "counter");  // checked before `frame` changes: a refused index leaves the scene as it was
    frame = index;
    infile.clear();  // a read that ran into the end of the file leaves the stream failed; the reader seeks itself
    ReadFrame();
}
