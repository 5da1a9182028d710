// One run held aside: the open trajectory with its readers' state, its frame table, what its configuration
// set and the frame held. The program works on one run at a time, in its program-wide state; several runs
// stay open by exchanging that state with runs held aside.
#pragma once

struct RunState;  // a run's share of the scene state (files, frames, atoms, species, bonds, quantities, box,
                  // colouring by quantity, hidden species, unwrapping) and its readers' state

RunState* NewRunState();            // an empty run: nothing read, nothing open
void DeleteRunState(RunState* run); // closes the files it holds and frees it; the program's current run must not be given
void SwapRunState(RunState& kept);  // exchanges the program's current run with kept
