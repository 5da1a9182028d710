// EGL without a window: a GPU's EGL device (EGL_EXT_platform_device) when a driver offers one, else Mesa's
// surfaceless platform, which draws in software on a machine without a GPU. The GL calls of the whole program go
// through GLVND's libGL, which dispatches them to whichever vendor owns the current context.
#include "headless/egl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

namespace {

EGLDisplay display = EGL_NO_DISPLAY;
EGLContext context = EGL_NO_CONTEXT;
EGLConfig chosenConfig = nullptr;
EGLSurface surface = EGL_NO_SURFACE;  // the pbuffer of the picture
bool pbuffers = true;                 // the config draws pbuffers; else the picture is a framebuffer object
bool configPbuffers = true;           // the config offers pbuffers at all (a picture beyond their limit aside)
Offscreen pictureBuffer;              // that framebuffer object
std::vector<Offscreen> made;  // every framebuffer made, for the clean-up

// Framebuffer objects (GL 3.0) and glWindowPos (GL 1.4) are looked up: libGL need not export them.
PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
PFNGLWINDOWPOS2IPROC windowPos2i = nullptr;

bool HasWord(const char* list, const char* word) {
    if (list == nullptr) return false;
    std::size_t length = std::strlen(word);
    for (const char* p = std::strstr(list, word); p != nullptr; p = std::strstr(p + 1, word))
        if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
    return false;
}

template <typename Function>
bool Look(Function& function, const char* name) {
    function = reinterpret_cast<Function>(eglGetProcAddress(name));
    return function != nullptr;
}

bool LookUpFramebufferFunctions() {
    return Look(genFramebuffers, "glGenFramebuffers") && Look(bindFramebuffer, "glBindFramebuffer") &&
           Look(deleteFramebuffers, "glDeleteFramebuffers") && Look(genRenderbuffers, "glGenRenderbuffers") &&
           Look(bindRenderbuffer, "glBindRenderbuffer") && Look(deleteRenderbuffers, "glDeleteRenderbuffers") &&
           Look(renderbufferStorage, "glRenderbufferStorage") &&
           Look(framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           Look(checkFramebufferStatus, "glCheckFramebufferStatus") && Look(windowPos2i, "glWindowPos2i");
}

void Terminate() {
    if (display != EGL_NO_DISPLAY) eglTerminate(display);
    display = EGL_NO_DISPLAY;
    context = EGL_NO_CONTEXT;
}

EGLint Attribute(EGLConfig config, EGLint name) {
    EGLint value = -1;
    eglGetConfigAttrib(display, config, name, &value);
    return value;
}

// The configuration of a window's visual: 8 bits a channel with alpha, 24 depth bits. EGL lists deeper colour
// first (10 bits a channel), which rounds the lighting otherwise than the window.
EGLConfig EightBitConfig(const EGLint* wanted) {
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count < 1) return nullptr;
    std::vector<EGLConfig> configs(static_cast<std::size_t>(count));
    if (!eglChooseConfig(display, wanted, configs.data(), count, &count)) return nullptr;
    for (EGLint i = 0; i < count; ++i) {
        EGLConfig c = configs[static_cast<std::size_t>(i)];
        if (Attribute(c, EGL_RED_SIZE) == 8 && Attribute(c, EGL_GREEN_SIZE) == 8 && Attribute(c, EGL_BLUE_SIZE) == 8 &&
            Attribute(c, EGL_ALPHA_SIZE) == 8 && Attribute(c, EGL_DEPTH_SIZE) == 24 && Attribute(c, EGL_SAMPLES) == 0)
            return c;
    }
    return configs[0];
}

// Initialise `candidate` and make a current compatibility context on it with no surface.
bool StartOn(EGLDisplay candidate) {
    if (candidate == EGL_NO_DISPLAY) return false;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(candidate, &major, &minor)) return false;
    display = candidate;
    if (!HasWord(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context") ||
        !eglBindAPI(EGL_OPENGL_API)) {
        Terminate();
        return false;
    }
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                             EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_NONE};
    EGLConfig config = EightBitConfig(wanted);
    pbuffers = configPbuffers = config != nullptr;
    const EGLint anySurface[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                                 EGL_BLUE_SIZE, 8, EGL_NONE};
    if (config == nullptr) config = EightBitConfig(anySurface);
    if (config == nullptr) {
        Terminate();
        return false;
    }
    chosenConfig = config;
    // No attributes: OpenGL 1.x semantics, i.e. a compatibility context with the fixed-function pipeline.
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) ||
        !LookUpFramebufferFunctions()) {
        Terminate();
        return false;
    }
    return true;
}

bool IsSoftwareDevice(EGLDeviceEXT device, PFNEGLQUERYDEVICESTRINGEXTPROC queryString) {
    return HasWord(queryString(device, EGL_EXTENSIONS), "EGL_MESA_device_software");
}

// The first GPU's EGL device that gives a context; Mesa's software device does not count as one.
bool StartOnGpu() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasWord(client, "EGL_EXT_platform_device") || !HasWord(client, "EGL_EXT_device_enumeration")) return false;
    PFNEGLQUERYDEVICESEXTPROC queryDevices = nullptr;
    PFNEGLQUERYDEVICESTRINGEXTPROC queryString = nullptr;
    PFNEGLGETPLATFORMDISPLAYEXTPROC platformDisplay = nullptr;
    if (!Look(queryDevices, "eglQueryDevicesEXT") || !Look(queryString, "eglQueryDeviceStringEXT") ||
        !Look(platformDisplay, "eglGetPlatformDisplayEXT"))
        return false;
    EGLint count = 0;
    if (!queryDevices(0, nullptr, &count) || count <= 0) return false;
    std::vector<EGLDeviceEXT> devices(static_cast<std::size_t>(count));
    if (!queryDevices(count, devices.data(), &count)) return false;
    for (EGLint i = 0; i < count; ++i) {
        if (IsSoftwareDevice(devices[static_cast<std::size_t>(i)], queryString)) continue;
        if (StartOn(platformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[static_cast<std::size_t>(i)], nullptr))) return true;
    }
    return false;
}

// Mesa's surfaceless platform held to its software renderer, so that --cpu means it on a machine with a GPU too.
bool StartInSoftware() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    PFNEGLGETPLATFORMDISPLAYEXTPROC platformDisplay = nullptr;
    if (!HasWord(client, "EGL_MESA_platform_surfaceless") || !Look(platformDisplay, "eglGetPlatformDisplayEXT"))
        return false;
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    return StartOn(platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
}

std::string RendererName() {
    const GLubyte* name = glGetString(GL_RENDERER);
    return name != nullptr ? reinterpret_cast<const char*>(name) : "an unnamed renderer";
}

}  // namespace

bool CreateOffscreenContext(RenderDevice device, std::string& chosen, std::string& error) {
    if (device != RenderDevice::Cpu && StartOnGpu()) {
        chosen = "drawing on the GPU: " + RendererName();
        return true;
    }
    if (device == RenderDevice::Gpu) {
        error = "--gpu: no GPU here offers an EGL device with desktop OpenGL; leave out --gpu to draw in software.";
        return false;
    }
    if (StartInSoftware()) {
        chosen = "drawing in software: " + RendererName();
        return true;
    }
    error = "EGL offers no usable device here: neither a GPU's EGL device nor Mesa's surfaceless software "
            "renderer gives a desktop OpenGL context (is libegl-mesa0 installed?).";
    return false;
}

void MaxDrawableSize(int& width, int& height) {
    GLint renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    width = renderbuffer < viewport[0] ? renderbuffer : viewport[0];
    height = renderbuffer < viewport[1] ? renderbuffer : viewport[1];

}

bool CreateOffscreen(int width, int height, Offscreen& target, std::string& error) {
    GLuint framebuffer = 0, buffers[2] = {0, 0};
    genFramebuffers(1, &framebuffer);
    genRenderbuffers(2, buffers);
    made.push_back({static_cast<int>(framebuffer), static_cast<int>(buffers[0]), static_cast<int>(buffers[1]), width, height});
    bindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    renderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    bindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
    renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
    GLenum status = checkFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE || glGetError() != GL_NO_ERROR) {
        error = "The GL cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                " framebuffer (out of memory?).";
        return false;
    }
    target = made.back();
    return true;
}

void DestroyOffscreen(Offscreen& target) {
    if (target.id == 0) return;
    GLuint framebuffer = static_cast<GLuint>(target.id);
    GLuint buffers[2] = {static_cast<GLuint>(target.colour), static_cast<GLuint>(target.depth)};
    bindFramebuffer(GL_FRAMEBUFFER, 0);
    deleteFramebuffers(1, &framebuffer);
    deleteRenderbuffers(2, buffers);
    made.erase(std::remove_if(made.begin(), made.end(), [&](const Offscreen& m) { return m.id == target.id; }),
               made.end());
    target = Offscreen{};
}

bool CreatePictureSurface(int width, int height, std::string& error) {
    // A picture of another size replaces the one made before.
    DestroyOffscreen(pictureBuffer);
    if (surface != EGL_NO_SURFACE) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
        eglDestroySurface(display, surface);
        surface = EGL_NO_SURFACE;
    }
    pbuffers = configPbuffers;
    // Beyond the pbuffer limit (4096 in Mesa) no window could match the picture anyway.
    if (pbuffers && (width > Attribute(chosenConfig, EGL_MAX_PBUFFER_WIDTH) ||
                     height > Attribute(chosenConfig, EGL_MAX_PBUFFER_HEIGHT)))
        pbuffers = false;
    if (!pbuffers) return CreateOffscreen(width, height, pictureBuffer, error);
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    surface = eglCreatePbufferSurface(display, chosenConfig, size);
    if (surface == EGL_NO_SURFACE || !eglMakeCurrent(display, surface, surface, context)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
        error = "EGL cannot make a " + std::to_string(width) + "x" + std::to_string(height) + " pbuffer (error " +
                code + ").";
        return false;
    }
    return true;
}

void BindPictureSurface() {
    if (!pbuffers) return BindOffscreen(pictureBuffer);
    bindFramebuffer(GL_FRAMEBUFFER, 0);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
}

void BindOffscreen(const Offscreen& target) {
    bindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(target.id));
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
}

void DrawPixelsAt(int width, int height, const unsigned char* rgb) {
    glPushAttrib(GL_ENABLE_BIT | GL_PIXEL_MODE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    windowPos2i(0, 0);
    glDrawPixels(width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    glPopAttrib();
}

bool HasOffscreenContext() { return context != EGL_NO_CONTEXT; }

bool MakeOffscreenContextCurrent() {
    if (!eglMakeCurrent(display, surface, surface, context)) return false;
    BindPictureSurface();
    return true;
}

void ReleaseOffscreenContext() {
    if (display != EGL_NO_DISPLAY) eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void DestroyOffscreenContext() {
    if (display == EGL_NO_DISPLAY) return;
    for (const Offscreen& target : made) {
        GLuint framebuffer = static_cast<GLuint>(target.id);
        GLuint buffers[2] = {static_cast<GLuint>(target.colour), static_cast<GLuint>(target.depth)};
        deleteFramebuffers(1, &framebuffer);
        deleteRenderbuffers(2, buffers);
    }
    made.clear();
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    surface = EGL_NO_SURFACE;
    Terminate();
}
