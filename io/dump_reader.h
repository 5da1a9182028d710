// Dump trajectories ("ITEM:" headers, one line per atom with label, type, position and quaternion).
#pragma once

void OpenQuatFile();   // open inname, index every frame's offset and count, set atoms, size geom
void ReadQuatFrame();  // read frame number `frame` into geom, checking each type against species
