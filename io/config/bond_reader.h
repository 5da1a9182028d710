// The bond file: which atoms are bonded, and at which of their bond origins.
#pragma once

#include <string>

void ReadBonds(std::string name);  // fill topology; a missing file means no bonds, a bad bond ends the program
