// Trial decoding of texture images in a child process: readable images pass, images that crash or stall
// the image library are caught without harming the test process.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "io/image_check.h"
#include "tests/support/test_support.h"

namespace {

// A 2 x 2 binary PPM: header, then three bytes a pixel.
const std::string TINY_PPM = std::string("P6\n2 2\n255\n") + std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c", 12);

// A GIF of one pixel on a screen of 65535 x 65535: the library decodes the whole screen, gigabytes, for minutes.
std::string HugeScreenGif() {
    const unsigned char bytes[] = {'G', 'I', 'F', '8', '9', 'a', 0xff, 0xff, 0xff, 0xff, 0x80, 0, 0,
                                   0, 0, 0, 0xff, 0xff, 0xff, 0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0,
                                   0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

TEST(CheckImageDecodes, ReadableImageDecodes) {
    EXPECT_EQ(CheckImageDecodes(WriteTempFile("tiny.ppm", TINY_PPM), 30), IMAGE_DECODES);
}

TEST(CheckImageDecodes, MissingFileAndTextAreUnreadable) {
    EXPECT_EQ(CheckImageDecodes(TempDir() + "/no_such_image.png", 30), IMAGE_UNREADABLE);
    EXPECT_EQ(CheckImageDecodes(WriteTempFile("words.png", "this is no image\n"), 30), IMAGE_UNREADABLE);
    EXPECT_EQ(CheckImageDecodes(WriteTempFile("empty.png", ""), 30), IMAGE_UNREADABLE);
}

// The image library frees memory twice on these and aborts; the test process must live on. Under
// AddressSanitizer the child first takes the 30 GB the header claims, which on a busy machine may outlast the
// time allowed: too slow is then as good, the file is not taken either way.
namespace {
bool BrokeOrTooSlow(ImageCheck check) {
#if defined(__SANITIZE_ADDRESS__)
    if (check == IMAGE_TOO_SLOW) return true;
#endif
    return check == IMAGE_BREAKS_READER;
}
}  // namespace

TEST(CheckImageDecodes, CutOffPortablePixmapsBreakTheReaderInTheChildOnly) {
    EXPECT_EQ(CheckImageDecodes(WriteTempFile("cut.ppm", TINY_PPM.substr(0, 14)), 30), IMAGE_BREAKS_READER);
    EXPECT_TRUE(BrokeOrTooSlow(CheckImageDecodes(WriteTempFile("claims.ppm", "P6\n99999 99999\n255\n"), 30)));
    EXPECT_TRUE(BrokeOrTooSlow(CheckImageDecodes(WriteTempFile("claims.pgm", "P5\n99999 99999\n255\n"), 30)));
    // The same file whole still decodes afterwards.
    EXPECT_EQ(CheckImageDecodes(WriteTempFile("whole.ppm", TINY_PPM), 30), IMAGE_DECODES);
}

TEST(CheckImageDecodes, DecodingIsStoppedAtTheTimeAllowed) {
    std::string gif = WriteTempFile("huge_screen.gif", HugeScreenGif());
    auto start = std::chrono::steady_clock::now();
    ImageCheck check = CheckImageDecodes(gif, 1.0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A sanitized build may refuse the gigabytes outright; either way the file is not taken as a texture.
    EXPECT_NE(check, IMAGE_DECODES);
    EXPECT_LT(seconds, 10.0);
}
