// GSD trajectories (HOOMD-blue) in the viewer: frames read through the file's index into geom, the box
// and the per-particle quantities; each particle type is a species.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/gsd/gsd_hoomd.h"

bool GsdHasTypeShapes(const std::string& name);  // frame 0 gives particles/type_shapes (the file stays open for the index)
void OpenGsdTrajectory();                     // open inname, count every frame's particles, size geom, summary
void IndexGsdFile();                          // open inname, count every frame's particles: frameAtoms, and in counter
                                              // where each frame's data begins
void FinishGsdOpening();                      // atoms, the summary and type names; shapes with the first read
void ReopenGsdFile();                         // open inname again for frame reads, its frames already counted
std::vector<std::string> GsdTypeNames();      // type names of frame 0 of the open file ({"A"} when it has none)
uint64_t GsdFirstStep();                      // configuration/step of frame 0 of the open file (0 when absent)
void ReadGsdTrajectoryFrame();                // frame `frame` into geom, frameBox, quantities (and topology)
GsdFrame& ReadGsdFrameTables();               // frame `frame` into the kind's own tables only, held until the next read
void CloseGsdTrajectory();                    // releases the open GSD file
bool GsdTrajectoryOpen();                     // a GSD file is open for frame reads
void GsdFrameToScene(const GsdFrame& read);   // the details, then geom, atoms (and topology) from one frame
void GsdFrameDetailsToScene(const GsdFrame& read);  // types checked; frameStep, frameBox, quantities; geom untouched

// Half radii per type (3 each) from the type shapes; a type without a drawable ellipsoid gets a sphere of
// the diameter of its first particle, and notes[type] one line when its shape is of another kind.
void GsdTypeHalfRadii(const GsdFrame& read, std::vector<double>& halfRadii, std::vector<std::string>& notes);

// Reads frame 0 of a GSD file for a configuration made for it; false with one error line when it cannot. The
// file stays open for the index that follows.
bool ReadGsdFrameZero(const std::string& name, GsdFrame& read, std::string& error);
