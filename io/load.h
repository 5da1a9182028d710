// Loading a scene: the configuration (or a trajectory named in its place), the trajectory, frame 0, the bonds.
#pragma once

#include <string>

// Reads the configuration `name` and prints "Config file read.", calls afterConfig (when given) while the
// trajectory is still unread, then opens and indexes the trajectory, reads frame 0 and the bond file.
// Every error in the files takes the program's fatal-error path.
void LoadScene(const std::string& name, void (*afterConfig)() = nullptr);

// The start-up load: the window title for `name`, LoadScene, then "Done reading. Rendering.".
void StartScene(const std::string& name, void (*afterConfig)() = nullptr);
