// The eye ray under a window pixel, in the centred scene coordinates the drawing uses.
#pragma once

// From the current modelview, projection and viewport: origin on the near plane, direction to the far plane.
// x, y as GLUT reports them (y from the top edge). False when the matrices cannot be inverted.
bool EyeRayAt(int x, int y, double* origin, double* direction);
