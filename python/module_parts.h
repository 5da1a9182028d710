// The parts of the module, each registering its functions and types, and what they share.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <pybind11/pybind11.h>

struct RunState;  // a run of the program held aside (io/run_state.h)

// An open trajectory as Python holds it: its run, parked between calls. The program works on one run at a
// time; CallWithTrajectory makes this one the program's while its work runs.
struct TrajectoryHandle {
    std::string path;
    std::shared_ptr<RunState> run;          // the open files, frame tables, species and frame held
    long long loadNumber = -1;              // the load its run holds, numbered program-wide; -1: a call left the
                                            // run changed (set up otherwise, unwrapped) or its load failed, and
                                            // the next call loads it afresh
    int frames = 0;                         // frames found when it was opened
    std::vector<std::string> speciesNames;  // GSD type names, else "1", "2", ...
    std::vector<double> speciesHalfRadii;   // SPECIES_STRIDE per species, as opened
    std::vector<double> speciesColours;     // SPECIES_STRIDE per species, as opened
    pybind11::object species;               // ovalix.Species made from the three above
};

// Runs work through CallProgram (one call at a time, GIL released, console caught, fatal errors raised as
// ovalix.Error) with t's run the program's current one, frame and scene included.
void CallWithTrajectory(TrajectoryHandle& t, const std::function<void()>& work);
long long LoadsMade();  // loads of any run so far: each resets the drawing's set-up, which no run holds

void RegisterReading(pybind11::module_& m);    // open, Trajectory, Frame, Species, Box, order (reading.cpp)
void RegisterRendering(pybind11::module_& m);  // render, Image (rendering.cpp)
