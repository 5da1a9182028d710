// Decodes an image file once in a child process, so that a file that breaks the image library
// (cut off, or a header that claims billions of pixels) cannot take the viewer down with it.
#pragma once

#include <string>

enum ImageCheck {
    IMAGE_DECODES,       // the image library reads the file: load it for real
    IMAGE_UNREADABLE,    // the image library refuses the file, as it does any non-image
    IMAGE_BREAKS_READER, // the image library crashed on the file
    IMAGE_TOO_SLOW,      // the image library was still decoding after the time allowed
};

constexpr int IMAGE_DECODE_SECONDS = 20;  // a real texture decodes in well under a second

ImageCheck CheckImageDecodes(const std::string& name, double seconds);  // decode NAME in a child and wait for it
