// Pictures of the drawing tests: reading the window, blurring, comparing, and a test texture.
#pragma once

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/scene.h"
#include "render/ellipsoids.h"

inline void SetBackground(float level) {
    glClearColor(level, level, level, 1.0f);
}

using Picture = std::vector<unsigned char>;

inline Picture ReadPicture() {
    glFinish();
    Picture pixels(static_cast<std::size_t>(window_width) * window_height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, window_width, window_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

inline Picture DrawScene(bool adaptive) {
    adaptiveDetail = adaptive;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DoStuff();
    adaptiveDetail = false;
    return ReadPicture();
}

// Gaussian blur of one pixel (sigma 1, out to 3 pixels), each channel, edges clamped.
inline std::vector<double> Blurred(const Picture& picture) {
    const int w = window_width, h = window_height;
    double kernel[7], sum = 0;
    for (int k = -3; k <= 3; ++k) sum += kernel[k + 3] = std::exp(-0.5 * k * k);
    std::vector<double> across(picture.size()), result(picture.size());
    auto at = [&](int x, int y, int c) { return static_cast<std::size_t>(3 * (y * w + x) + c); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (int k = -3; k <= 3; ++k) v += kernel[k + 3] * picture[at(std::clamp(x + k, 0, w - 1), y, c)];
                across[at(x, y, c)] = v / sum;
            }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (int k = -3; k <= 3; ++k) v += kernel[k + 3] * across[at(x, std::clamp(y + k, 0, h - 1), c)];
                result[at(x, y, c)] = v / sum;
            }
    return result;
}

struct Comparison {
    double meanDifference = 0;   // levels, over every channel of every pixel
    double blurredWithin24 = 0;  // share of pixels whose blurred channels all lie within 24 levels
    long offBy16 = 0;            // pixels with a channel off by more than 16 levels, unblurred
    long differing = 0;          // pixels that differ at all
    long drawn = 0;              // pixels of the first picture that are not background
};

inline Comparison Compare(const Picture& a, const Picture& b, unsigned char background) {
    Comparison result;
    std::vector<double> blurA = Blurred(a), blurB = Blurred(b);
    long within = 0;
    double total = 0;
    for (std::size_t p = 0; p + 2 < a.size(); p += 3) {
        int worst = 0;
        double worstBlurred = 0;
        for (int c = 0; c < 3; ++c) {
            int d = std::abs(a[p + c] - b[p + c]);
            total += d;
            worst = std::max(worst, d);
            worstBlurred = std::max(worstBlurred, std::fabs(blurA[p + c] - blurB[p + c]));
        }
        if (worstBlurred <= 24) ++within;
        if (worst > 16) ++result.offBy16;
        if (worst > 0) ++result.differing;
        if (a[p] != background || a[p + 1] != background || a[p + 2] != background) ++result.drawn;
    }
    long pixels = static_cast<long>(a.size() / 3);
    result.meanDifference = total / static_cast<double>(a.size());
    result.blurredWithin24 = static_cast<double>(within) / pixels;
    return result;
}

// A 64 x 64 checkerboard with a colour gradient, mipmapped like a loaded texture.
inline unsigned int MakeTexture() {
    std::vector<unsigned char> image(64 * 64 * 3);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool dark = ((x / 8) + (y / 8)) % 2 == 0;
            unsigned char* texel = &image[static_cast<std::size_t>(3 * (y * 64 + x))];
            texel[0] = static_cast<unsigned char>(dark ? 60 : 255);
            texel[1] = static_cast<unsigned char>(dark ? 40 + 2 * y : 230);
            texel[2] = static_cast<unsigned char>(dark ? 200 - 2 * x : 180);
        }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, 64, 64, GL_RGB, GL_UNSIGNED_BYTE, image.data());
    return name;
}
