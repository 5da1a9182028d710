// The list of every command that the 'h' key prints.
#include "ui/view_commands.h"

#include <cstdio>
#include <iostream>

#include "ui/keyboard.h"

// The mouse, special keys and the menu, after the keys of the keyboard table.
static const char* const OTHER_HELP_LINES[] = {
    "Mouse and special keys:",
    "  left drag          turn the scene (1 degree per pixel)",
    "  left click         pick the atom under the pointer; 2nd: distance, 3rd: angle, 4th: new series; empty space: clear",
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
    std::cout << "Keys:" << std::endl;
    char line[160];
    for (int k = 0; k < KEY_COMMAND_COUNT; ++k) {
        const KeyCommand& command = KEY_COMMANDS[k];
        if (command.label == nullptr) continue;
        std::snprintf(line, sizeof line, "  %-10s %s", command.label, command.help);
        std::cout << line << std::endl;
    }
    for (const char* text : OTHER_HELP_LINES) std::cout << text << std::endl;
}
