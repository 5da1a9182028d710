// A trajectory named where a configuration is expected: recognised by its content and shown with a
// configuration made for it.
#pragma once

#include <string>

enum TrajectoryKind { NOT_A_TRAJECTORY, DUMP_TRAJECTORY, PDB_TRAJECTORY, GSD_TRAJECTORY };

bool IsGzipFile(const std::string& name);                  // the file starts with the gzip magic bytes
TrajectoryKind RecogniseTrajectory(const std::string& name);  // by the GSD magic, else the first lines that are not blank

// The dump file names shape columns in its first atoms header (a configuration may then leave out half_radii).
bool DumpHasShapeColumns(const std::string& name);

// When name is a trajectory (or a pattern whose first file is one): sets the scene state as a configuration
// for it would, prints that configuration in the configuration file's syntax and returns true. Otherwise
// changes nothing. A pattern that matches no file ends the program.
bool ConfigureFromTrajectory(const std::string& name);
