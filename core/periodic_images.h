// Periodic images: the frame drawn again, moved by whole box edges, without a copy of any particle.
// The counts along a, b and c are odd and centred on the box. Free of OpenGL.
#pragma once

#include <string>
#include <vector>

bool ImagesShown();                       // more than one image asked for, and the frame has a box to repeat
int ImageTotal();                         // images drawn: the product of imageCounts while shown, else 1
void ImageShift(int image, double* shift);  // move of image `image` (0: the frame itself) in whole edges of frameBox
std::vector<double> CornerImageShifts();    // moves of the 8 outermost images, 3 values each; one move of 0 without images
bool ValidImageCounts(const int* counts);   // each count positive and odd
std::string ImageCountsText(const int* counts);  // "3x3x1"
bool ParseImageCounts(const std::string& text, int* counts);  // "NXxNYxNZ" of positive odd counts; false otherwise
bool FrameIsFlat();                       // every atom in one plane along the edges a and b: a 2-D run
std::string CycleImages();                // the key's step 1x1x1 -> 3x3x3 (3x3x1 when flat) -> 1x1x1; the line it prints
std::string ImagesWithoutBoxLine();       // images asked for on a frame without a box: the line that says so, else empty
std::string WrapWithoutBoxLine();         // wrap asked for on a frame without a box: the line that says so, else empty
// The nearest shown atom (from 0) that the eye ray enters in any image; -1 for none (core/pick.h's PickAtom).
long long PickAtomInImages(const double* origin, const double* direction, const std::vector<double>& centre);
