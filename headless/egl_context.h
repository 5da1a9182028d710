// The offscreen OpenGL of the render mode: an EGL context (a GPU's EGL device, or Mesa's software renderer on the
// surfaceless platform) drawing into framebuffer objects, with no window system at all.
#pragma once

#include <string>

enum class RenderDevice { Any, Gpu, Cpu };  // default: a GPU device if any, else software

struct Offscreen {
    int id = 0;       // framebuffer object
    int colour = 0;   // colour renderbuffer, RGBA8
    int depth = 0;    // depth renderbuffer, 24 bits
    int width = 0;
    int height = 0;
};

// A current desktop-GL compatibility context on the chosen device; false with a message in `error`.
// `chosen` says which it is, with GL_RENDERER's name.
bool CreateOffscreenContext(RenderDevice device, std::string& chosen, std::string& error);
void MaxDrawableSize(int& width, int& height);  // the largest framebuffer the context draws: renderbuffer and viewport limits
bool CreateOffscreen(int width, int height, Offscreen& target, std::string& error);  // colour + depth, complete
void BindOffscreen(const Offscreen& target);  // draw and read through it from now on
void DrawPixelsAt(int width, int height, const unsigned char* rgb);  // RGB rows bottom up, at the lower left, untouched by lights, fog, textures, depth
void DestroyOffscreenContext();  // framebuffers, context and display
