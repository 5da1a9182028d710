// OpenGL state, lights, fog and camera; the projection on resize and the 2-D overlay projection.
#pragma once

void MyGLInit();                               // every GL setting the scene is drawn with, then the textures
void Reshape(int width, int height);           // viewport and perspective for the new size; the view survives
void ReshapeWindow(int width, int height);     // the window's reshape callback: Reshape, then one redisplay
void setOrthographicProjection();              // pixel projection with (0, 0) at the top-left corner
void resetPerspectiveProjection();             // back to the perspective projection
void ApplyPerspective();                       // perspective for the window size and the current clip planes
