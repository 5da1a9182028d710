// Reading every frame (or frame 0) once more, for a colour range that holds for the whole run and a centre
// that stays put while particles leave.
#include "io/whole_run.h"

#include <iostream>
#include <vector>

#include "core/geometry.h"
#include "core/scene.h"
#include "io/trajectory.h"

namespace {

// The frame shown read again after other frames were read in its place.
void ReadBack(int shown) {
    frame = shown;
    ReadFrame();
}

}  // namespace

bool TakeFixedCentre() {
    const int shown = frame;
    if (shown != 0) {
        frame = 0;
        ReadFrame();
    }
    std::vector<double> centre = BoxOrMeanCentre();
    for (int k = 0; k < 3; ++k) fixedCentrePoint[k] = centre[k];
    const bool box = frameBox.exists;
    if (shown != 0) ReadBack(shown);
    return box;
}
