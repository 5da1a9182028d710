// What needs more than the frame shown: ranges over every frame, a centre taken from frame 0. Each frame is
// read through the one frame reader, and the frame shown is read back, so the scene is left as it was.
#pragma once

bool TakeFixedCentre();      // fixedCentrePoint from frame 0: its box centre (true), or its mean without a box
