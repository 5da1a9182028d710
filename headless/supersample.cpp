// The box filter of the supersampled render: every output pixel the mean of the block it covers.
#include "headless/supersample.h"

#include <cstddef>

void AverageDown(const std::vector<unsigned char>& large, int width, int height, int factor,
                 std::vector<unsigned char>& small) {
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const std::size_t k = static_cast<std::size_t>(factor);
    const std::size_t largeRow = w * k * 3;
    const unsigned area = static_cast<unsigned>(k * k);
    small.assign(w * h * 3, 0);
    if (large.size() < largeRow * h * k) return;  // a short buffer gives black, never a read past its end
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x)
            for (std::size_t c = 0; c < 3; ++c) {
                unsigned sum = 0;
                for (std::size_t dy = 0; dy < k; ++dy) {
                    const unsigned char* row = &large[(y * k + dy) * largeRow + x * k * 3 + c];
                    for (std::size_t dx = 0; dx < k; ++dx) sum += row[dx * 3];
                }
                small[(y * w + x) * 3 + c] = static_cast<unsigned char>((sum + area / 2) / area);
            }
}
