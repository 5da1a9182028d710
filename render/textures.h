// Texture images for the ellipsoids and the solid bonds, loaded through DevIL.
#pragma once

#include <string>

void LoadTextures(std::string name, int index);  // load an image as a mipmapped texture into texture[index]
void DeleteTextures();                           // delete every texture name in the table, resetting it to 0
