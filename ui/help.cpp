// The list of every command that the 'h' key prints.
#include "ui/view_commands.h"

#include <iostream>

// One line per key, mouse action and menu entry, in the order of the keyboard table, then the mouse, then the menu.
static const char* const HELP_LINES[] = {
    "Keys:",
    "  Q or Esc   quit",
    "  + or =     move the scene 2 units closer",
    "  - or _     move the scene 2 units farther away",
    "  d / a      turn the scene right / left (4 degrees)",
    "  w / s      turn the scene up / down (2 degrees)",
    "  q / e      spin the scene counter-clockwise / clockwise (2 degrees)",
    "  space      start or stop the animation",
    "  p / n      previous / next frame",
    "  P / N      back / forward a tenth of the frames",
    "  G          go to a frame (asks on the console)",
    "  r / f      first / last frame",
    "  L          reload from a configuration file (asks on the console)",
    "  g          fog on / off",
    "  t          time-step overlay on / off",
    "  Enter      snapshot Screen_NNNN_FFFF in the working directory (never overwrites)",
    "  c          colour by species / by orientation to the director (prints the order parameter)",
    "  z          fit the frame into the window, keeping the rotation",
    "  Z          start-up view, then fit",
    "  l          adaptive level of detail on / off",
    "  V          write the view to NAME.view",
    "  h          this list",
    "Mouse and special keys:",
    "  left drag          turn the scene (1 degree per pixel)",
    "  Shift + left drag  spin the scene about the view axis",
    "  Ctrl + left drag   move the scene closer / farther (1 unit per pixel)",
    "  wheel              move the scene 2 units farther / closer per step",
    "  arrow keys         move the scene 1 unit left, right, up or down",
    "  right button       the menu",
    "Menu:",
    "  Light > Stationary Light      lights fixed to the eye",
    "  Light > Moving Light          lights turn with the scene",
    "  Print > Print Images          write every animated frame as an image",
    "  Print > Do Not Print Images   stop writing animated frames",
    "  Print > Print This Screen     snapshot, as Enter",
    "  File format > JPG, PNG, BMP   type of the images written",
    "  Timestep > Hide Timestep      overlay off",
    "  Timestep > Show Timestep      overlay on",
    "  Quit                          quit, as Q",
};

void PrintHelp() {
    for (const char* line : HELP_LINES) std::cout << line << std::endl;
}
