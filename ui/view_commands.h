// Keys beyond moving and stepping: orientation colours, fitting and resetting the view, the help list.
#pragma once

void ToggleColouring();  // species colours <-> orientation colours, with the message saying which
void CycleQuantityColouring();  // species colours -> each per-particle quantity in file order -> species colours
void ToggleFixedCentre();  // every frame centred on frame 0's box centre (or mean) <-> on its own mean
void FitView();          // keep the rotation; move the frame so its sphere fills the smaller window dimension
void ResetView();        // the start-up camera and orientation, then FitView
void SaveView();         // key V: the view to <trajectory>.view, whole or not at all, and say which
void PrintHelp();        // every key, mouse action and menu entry, one line each
