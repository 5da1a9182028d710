// Start-up before the window exists, and the redraw that runs on every event-loop turn.
#pragma once

void MyInit(int argc, char** argv);  // name of the configuration, then configuration, trajectory, frame 0, bonds
void Display();                      // display callback: draw, overlay, sequence image, next frame, swap
