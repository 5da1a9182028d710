// The scene of the current frame: every atom as a lit, coloured ellipsoid, then every bond.
#pragma once

#include <vector>

// true (default): DoStuff sends no ellipsoid that lies wholly outside the view; false: every one (reference drawing).
extern bool cullOutsideView;
extern long long ellipsoidsOutsideView;  // ellipsoids the last DoStuff left out: wholly outside the view, or beyond single precision

void DoStuff();                  // draw the frame centred on its mean position
void CreateEllipsoid(int n, std::vector<double> position, std::vector<double> quaternion, int slices, int stacks);  // one atom of species n
