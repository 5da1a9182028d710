// The scene of the current frame: every atom as a lit, coloured ellipsoid, then every bond.
#pragma once

#include <vector>

void DoStuff();                  // draw the frame centred on its mean position
void DrawOpaqueAtomsAndBonds();  // the opaque atoms and the bonds under the current modelview
void DrawTransparentAtoms();     // then the transparent atoms of every periodic image, farthest first
void CreateEllipsoid(int n, std::vector<double> position, std::vector<double> quaternion, int slices, int stacks);  // one atom of species n
long long AdaptiveEllipsoidsCulled();  // opaque atoms the last adaptive drawing left out as hidden by nearer ones
