// Texture images: decoded by DevIL, handed to OpenGL as mipmapped textures.
#include "render/textures.h"

#include <iostream>

#include "app/scene.h"
#include "render/devil.h"

void LoadTextures(std::string name, int index) {
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
