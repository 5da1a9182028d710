// The opening summary and the open-file check of both trajectory readers.
#include "io/trajectory_summary.h"

#include <iostream>

#include "core/exit_sequence.h"
#include "core/scene.h"

void PrintTrajectorySummary() {
    int frames = FrameCount();
    std::cout << "Number of atoms:      " << atoms << std::endl;
    std::cout << "Number of time steps: " << frames << " (0 - " << frames - 1 << ")" << std::endl;
    if (frames == 1) showTS = false;
}

void RequireOpenTrajectory() {
    if (infile.is_open()) return;
    std::cout << "Something is seriously wrong. The input file seems to be closed." << std::endl;
    ExitSequence();
}
