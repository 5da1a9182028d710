// Texture images: decoded by DevIL, handed to OpenGL as mipmapped textures.
#include "render/textures.h"

#include <iostream>

#include "core/scene.h"
#include "io/image_check.h"
#include "render/devil.h"

// The image library is only trusted with a file it has already decoded once in a child process.
static bool SafeToDecode(const std::string& name) {
    ImageCheck check = CheckImageDecodes(name, IMAGE_DECODE_SECONDS);
    if (check == IMAGE_DECODES) return true;
    std::cout << "ilLoadImage(" << name << ") did not work." << std::endl;
    if (check == IMAGE_BREAKS_READER)
        std::cout << "The image library breaks down on " << name << ". Is it cut off or damaged?" << std::endl;
    if (check == IMAGE_TOO_SLOW)
        std::cout << "Reading " << name << " took more than " << IMAGE_DECODE_SECONDS
                  << " seconds. Does it really hold that many pixels?" << std::endl;
    return false;
}

void LoadTextures(std::string name, int index) {
    if (!SafeToDecode(name)) return;
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    if (ilLoadImage(name.c_str())) {
        unsigned int& slot = entry(texture, index, "texture");
        slot = ilutGLBindMipmaps();
        if (slot != 0) std::cout << "Texture " << name << " bound." << std::endl;
        else std::cout << "ilutOglBuildMipmaps() did not work." << std::endl;
    } else {
        std::cout << "ilLoadImage(" << name << ") did not work." << std::endl;
    }
    ilDeleteImages(1, &image);
}

void DeleteTextures() {
    // Each entry goes back to 0, so a stale name can never show another texture later.
    for (unsigned int& name : texture) {
        glDeleteTextures(1, &name);
        name = 0;
    }
}
