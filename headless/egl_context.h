// The offscreen OpenGL of the render mode: an EGL context (a GPU's EGL device, or Mesa's software renderer on the
// surfaceless platform) drawing into a pbuffer or framebuffer objects, with no window system at all.
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
void MaxDrawableSize(int& width, int& height);  // the largest picture: renderbuffer and viewport limits
bool CreateOffscreen(int width, int height, Offscreen& target, std::string& error);  // colour + depth, complete
// The picture: an EGL pbuffer, which Mesa draws exactly as a window (a framebuffer object is drawn upside down
// inside the driver, which moves a few edge pixels); a framebuffer object beyond the pbuffer limit or where the
// config has no pbuffers.
bool CreatePictureSurface(int width, int height, std::string& error);
void BindPictureSurface();  // draw and read the pbuffer from now on
void BindOffscreen(const Offscreen& target);  // draw and read through it from now on
void DrawPixelsAt(int width, int height, const unsigned char* rgb);  // RGB rows bottom up, at the lower left, untouched by lights, fog, textures, depth
void DestroyOffscreen(Offscreen& target);  // its framebuffer and renderbuffers, for one of another size
bool HasOffscreenContext();                 // CreateOffscreenContext succeeded and nothing destroyed it since
bool MakeOffscreenContextCurrent();         // current on the calling thread, drawing into the picture
void ReleaseOffscreenContext();             // current on no thread, so that another thread may take it
void DestroyOffscreenContext();  // framebuffers, context and display
