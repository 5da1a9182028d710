// What both trajectory readers share: the opening summary and the check that the file is open.
#pragma once

void PrintTrajectorySummary();  // "Number of atoms: ..." and "Number of time steps: ..."; one frame hides the overlay
void RequireOpenTrajectory();   // a frame read on a closed file is reported and ends the program
