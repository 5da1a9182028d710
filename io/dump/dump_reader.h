// Dump trajectories ("ITEM:" headers, one line per atom with label, type, position and quaternion).
#pragma once

#include <string>

void OpenQuatFile();   // open inname, index every frame's offset and count, set atoms, size geom
void IndexQuatFile(bool continuesSeries = false);  // open inname and scan it: counter, frameAtoms, atoms, dumpColumns;
                                                   // no summary; a later file of a series adds to the types found
void FinishQuatOpening();  // take geom for the largest frame, print the summary, shapes from the file
void ReopenQuatFile();     // open inname again for frame reads, its frames already indexed
std::string FirstAtomsHeader();  // the atoms header of the first frame of the last file scanned
long long FirstFrameStep();      // the MD step of that frame; -1 where its TIMESTEP gives none
void ReadQuatFrame();  // read frame number `frame` into geom, checking each type against species
