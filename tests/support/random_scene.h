// The scene that the redraw benchmark draws and the drawing tests compare: ellipsoids of two species with random
// orientations in a box that fills the start-up view.
#pragma once

void FillRandomScene(int n);  // n atoms into the scene tables, the same ones for the same n on every run
