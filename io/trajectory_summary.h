// What the trajectory readers share: the opening summary, the check that the file is open, the frame table.
#pragma once

#include <string>

void PrintTrajectorySummary();  // "Number of atoms: ...", "Number of time steps: ..." (and of files); one frame hides the overlay
void RequireOpenTrajectory(bool open);  // a frame read on a closed file (open false) is reported and ends the program
void FitFrameTable(int count);   // atoms = count; geom holds count rows (within the largest frame's capacity)
void ReportBondsOutsideFrame();  // one line, the first time a bond names an atom the frame lacks
void JoinBondsToFrame();         // each bond's rows in the frame held (by label where labels are not rows), told once
std::string FrameAndStep(long long index, long long step, bool capital = false);  // "frame 3 (step 600)", or "frame 3"
                                                                          // without a step; "Frame ..." to open a line
