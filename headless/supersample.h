// Antialiasing by supersampling: a picture drawn K x K times larger, averaged down to the size asked for.
#pragma once

#include <vector>

// `large` holds (width*factor) x (height*factor) RGB pixels; `small` gets width x height, each the rounded mean
// of its factor x factor block. Rows keep their order (bottom up as GL reads them).
void AverageDown(const std::vector<unsigned char>& large, int width, int height, int factor,
                 std::vector<unsigned char>& small);
