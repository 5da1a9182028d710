// The time-step overlay in the lower-left corner of the window.
#pragma once

void ShowTimeStep();                                                  // "Timestep <frame> of <last>"
void renderBitmapString(double x, double y, void* font, const char* text);  // text at a raster position
