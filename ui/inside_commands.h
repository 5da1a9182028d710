// Keys and clicks to look inside the frame: the box, the slab cut, hidden species, picking atoms.
#pragma once

void ToggleBox();               // key b: the simulation box shown / hidden
void ToggleTransparency();      // key T: the configured opacities drawn / every species opaque
void ToggleSlab();              // key x: a slab across the view direction through the frame centre, or none
void MoveSlab(int direction);   // keys [ and ]: the slab a tenth of its width along its normal (-1 or +1)
void ScaleSlab(double factor);  // keys { and }: half or twice the width
void ToggleSpecies(int n);      // keys 1 to 9: species n hidden / shown
void ShowAllSpecies();          // key 0: every species shown
void PickAt(int x, int y);      // a click: the nearest drawn atom under the pointer, or clear the picks
