// Reading every frame (or frame 0) once more, for a colour range that holds for the whole run and a centre
// that stays put while particles leave.
#include "io/whole_run.h"

#include <iostream>
#include <vector>

#include "core/geometry.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "io/frame_step.h"

namespace {

constexpr int FRAMES_PER_DOT = 100;  // a long run shows it is still being read, as the dump scan does

// The frame shown read again after other frames were read in its place. A read clears animationEnded, but an
// animation resting on its last frame must stay at rest: nothing moves, nothing is written again.
void ReadBack(int shown, bool ended) {
    GoToFrame(shown);
    animationEnded = ended;
}

}  // namespace

bool RunQuantityRange(int quantity, double& low, double& high) {
    const int shown = frame;
    const bool ended = animationEnded;
    const int frames = FrameCount();
    bool any = false;
    for (int f = 0; f < frames; ++f) {
        GoToFrame(f);
        double frameLow = 0, frameHigh = 0;
        if (QuantityRange(quantity, frameLow, frameHigh)) {
            if (!any || frameLow < low) low = frameLow;
            if (!any || frameHigh > high) high = frameHigh;
            any = true;
        }
        if ((f + 1) % FRAMES_PER_DOT == 0) std::cout << "." << std::flush;
    }
    if (frames >= FRAMES_PER_DOT) std::cout << std::endl;
    ReadBack(shown, ended);
    return any;
}

std::string TakeRunRange() {
    if (!colourByWholeRun || colourByName.empty()) return "";
    const int quantity = FindQuantity(colourByName);
    if (quantity == SPECIES_COLOURS) return "";  // ApplyColourBy says what the file gives
    std::cout << "Reading " << colourByName << " in all " << FrameCount() << " frames for its range." << std::endl;
    double low = 0, high = 0;
    if (!RunQuantityRange(quantity, low, high)) {
        colourByLow = colourByHigh = 0;
        return colourByName + " has no finite value in any frame: every atom is drawn grey.";
    }
    colourByLow = low;
    colourByHigh = high;
    return "";
}

bool TakeFixedCentre() {
    const int shown = frame;
    const bool ended = animationEnded;
    if (shown != 0) {
        GoToFrame(0);
    }
    std::vector<double> centre = BoxOrMeanCentre();
    for (int k = 0; k < 3; ++k) fixedCentrePoint[k] = centre[k];
    const bool box = frameBox.exists;
    if (shown != 0) ReadBack(shown, ended);
    return box;
}
