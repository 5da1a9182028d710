// The one image writer on real window pixels: every image it reports written is there, whole.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "export/image_file.h"
#include "render/devil.h"
#include "tests/gl/gl_window.h"

namespace {

// Noise of a few thousand bytes encoded, drawn the same whatever state earlier tests left: sizes spread over
// every remainder of 256, among them multiples of 256, whose byte count DevIL's save reports as 0.
void DrawNoise(std::mt19937& random, int size) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(size * size * 3));
    for (unsigned char& p : pixels) p = static_cast<unsigned char>(random() & 0xff);
    glPushAttrib(GL_ENABLE_BIT);
    for (GLenum state : {GL_FOG, GL_TEXTURE_2D, GL_LIGHTING, GL_DEPTH_TEST}) glDisable(state);
    glViewport(0, 0, size, size);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2f(-1, -1);
    glDrawPixels(size, size, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

long FileSize(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

}  // namespace

TEST(WriteImageFile, EveryImageOfEveryTypeIsWrittenWholeWhateverItsSize) {
    if (!OpenTestWindow()) GTEST_SKIP() << "no display";
    ilInit();
    char folderTemplate[] = "/tmp/ovalix_images_XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    std::mt19937 random(17);
    int written = 0, multiplesOf256 = 0;
    for (const char* extension : {".png", ".jpg", ".bmp"}) {
        for (int k = 0; k < 300; ++k) {
            int size = 24 + k % 17;
            DrawNoise(random, size);
            glReadBuffer(GL_BACK);
            std::string name = folder + "/image_" + std::to_string(k) + extension, error;
            bool ok = WriteImageFile(name, error);
            EXPECT_TRUE(ok) << error << " (image " << k << ", " << size << " pixels)";
            if (!ok) break;  // the window's viewport and the folder are still put back below
            EXPECT_GT(FileSize(name), 0) << name;
            multiplesOf256 += FileSize(name) % 256 == 0;
            EXPECT_EQ(FileSize(TemporaryName(name)), -1) << "a temporary is left beside " << name;
            std::remove(name.c_str());
            ++written;
        }
    }
    EXPECT_EQ(written, 900);
    // The sizes must include the case where DevIL's own count of the bytes it wrote reads as a failure.
    EXPECT_GT(multiplesOf256, 0);
    rmdir(folder.c_str());
    Reshape(window_width, window_height);
}
