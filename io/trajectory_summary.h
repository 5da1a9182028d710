// What the trajectory readers share: the opening summary, the check that the file is open, the frame table.
#pragma once

void PrintTrajectorySummary();  // "Number of atoms: ...", "Number of time steps: ..." (and of files); one frame hides the overlay
void RequireOpenTrajectory();   // a frame read on a closed file is reported and ends the program
void FitFrameTable(int count);   // atoms = count; geom holds count rows (within the largest frame's capacity)
void ReportBondsOutsideFrame();  // one line, the first time a bond names an atom beyond the frame's count
