// The scene and the pick marks drawn once per periodic image, each under the modelview moved by its shift.
#pragma once

#include <vector>

void DrawSceneInImages();                                      // DoStuff for every image; once, unmoved, without images
void DrawPickMarksInImages(const std::vector<double>& centre);  // the rings of the picks round the atom in every image
