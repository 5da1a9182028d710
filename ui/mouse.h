// Mouse and special keys.
//   arrows      pan the scene 1 unit           wheel        2 units closer/farther per step
//   left drag   turn (1 deg per pixel)         Shift+drag   spin about the view axis
//   Ctrl+drag   push/pull (1 unit per pixel)   right button pop-up menu
#pragma once

void SpecialKey(int key, int x, int y);                       // GLUT special-key callback
void HandleMouseState(int button, int state, int x, int y);   // GLUT mouse-button callback
void HandleMouseMove(int x, int y);                           // GLUT motion callback (a button is down)
void HandleWheel(int wheel, int direction, int x, int y);     // GLUT mouse-wheel callback
