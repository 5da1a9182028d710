// The time-step overlay in the lower-left corner of the window.
#pragma once

void ShowTimeStep();                                                  // "Timestep <frame> of <last>"
void DrawColourBar();                                                 // the quantity's map, name and range at the right edge
void renderBitmapString(double x, double y, void* font, const char* text);  // text at a raster position
