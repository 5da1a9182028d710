// The configuration file: trajectory, bond file, species tables, background, bonds and textures.
#pragma once

#include <string>

// Reads the configuration into the scene state; returns the bond file name, empty when none is named.
// Asks for another name while the file cannot be opened; every error in the file ends the program.
std::string ReadConfig(std::string name);
