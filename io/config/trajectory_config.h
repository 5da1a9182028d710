// A trajectory named where a configuration is expected: recognised by its content and shown with a
// configuration made for it.
#pragma once

#include <string>

#include "io/trajectory_kinds.h"  // Required for: TrajectoryKind

constexpr long long MAX_MADE_SPECIES = 1000000;  // the most species a made configuration gives

bool IsGzipFile(const std::string& name);                  // the file starts with the gzip magic bytes
TrajectoryKind RecogniseTrajectory(const std::string& name);  // by the first bytes, else the first lines that are not
                                                              // blank (the kinds' rows decide); the file is left closed

// The dump file names shape columns in its first atoms header (a configuration may then leave out half_radii).
bool DumpHasShapeColumns(const std::string& name);

// When name is a trajectory (or a pattern whose first file is one): sets the scene state as a configuration
// for it would, prints that configuration in the configuration file's syntax and returns true. Otherwise
// changes nothing. A pattern that matches no file ends the program.
bool ConfigureFromTrajectory(const std::string& name);

// Once the trajectory is indexed: a configuration made for one whose largest frame is large turns on
// ray-casting and prints its line; with a configuration of the user's, one line tells how much faster it draws.
void ChooseDrawingForSize();
// Once indexed: a dump whose atom count changes gets the varying_atoms line its made configuration needs.
void CompleteMadeConfiguration();
// The opening scan of a dump with a made configuration found types up to largest beyond frame 0's: each
// becomes a species, and the whole configuration is printed again.
void AddLateSpecies(int largest);
