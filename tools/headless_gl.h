#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An offscreen OpenGL context without a display or a GPU: EGL on Mesa's
// surfaceless platform, a desktop compatibility context (immediate mode and
// GLU work as in a window) and a pbuffer of the frame size as the default
// framebuffer. Plain struct: call destroy() when done.
struct HeadlessGl {
    void* display = nullptr;  // EGLDisplay
    void* config = nullptr;   // EGLConfig
    void* context = nullptr;  // EGLContext
    void* surface = nullptr;  // EGLSurface
    int width = 0;
    int height = 0;
    std::string error;  // why the last create/resize failed

    // Makes the context current with a width x height RGB8 framebuffer.
    bool create(int width, int height);
    // New pbuffer of the given size; the context (and its textures) stay.
    bool resize(int width, int height);
    void destroy();
    // The whole framebuffer as 8-bit RGB, top row first (GL reads bottom-up).
    bool readPixels(std::vector<std::uint8_t>& rgb) const;
    // The framebuffer as GL reads it fastest (a plain copy, half the time of
    // RGB), into width * height * 4 bytes: bottom row first, each pixel blue,
    // green, red and a byte of no meaning. For writers that take that order.
    bool readBgrxBottomUp(std::uint8_t* bgrx) const;
};
