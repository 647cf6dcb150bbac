#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An offscreen OpenGL context without a display or a GPU: EGL on Mesa's
// surfaceless platform, a desktop compatibility context (immediate mode and
// GLU work as in a window) and a pbuffer of the frame size as the default
// framebuffer. With more than one sample per pixel the frames are drawn into
// a multisampled framebuffer of the same size instead, resolved (each pixel
// the mean of its samples) when read back. Plain struct: call destroy() when
// done.
struct HeadlessGl {
    void* display = nullptr;  // EGLDisplay
    void* config = nullptr;   // EGLConfig
    void* context = nullptr;  // EGLContext
    void* surface = nullptr;  // EGLSurface
    int width = 0;
    int height = 0;
    int samples = 1;                       // per pixel of what is drawn into
    unsigned multisampledFramebuffer = 0;  // 0: the pbuffer is drawn into
    unsigned multisampledColor = 0;
    unsigned resolvedFramebuffer = 0;  // what the samples resolve into for reading
    unsigned resolvedColor = 0;
    // Pixel buffers that frames are read into while the next ones are drawn,
    // each kept mapped for as long as it lives, and the fence of the read
    // last started into each (GLsync).
    std::vector<unsigned> readBuffers;
    std::vector<std::uint8_t*> readMappings;
    std::vector<void*> readFences;
    std::string error;  // why the last create/resize/setSamples/mapReadBuffers failed

    // Makes the context current with a width x height RGB8 framebuffer.
    bool create(int width, int height);
    // New pbuffer of the given size (and multisampled framebuffer, with the
    // same samples); the context (and its textures) stay.
    bool resize(int width, int height);
    // The samples per pixel the context offers for an RGBA8 framebuffer,
    // ascending, 1 first; and the most of them.
    std::vector<int> offeredSamples() const;
    int maxSamples() const;
    // Draws with `count` samples per pixel from now on (1: into the pbuffer
    // itself). False with the reason, and the samples as they were, when the
    // context does not offer that many.
    bool setSamples(int count);
    void destroy();
    // Resolves the samples into the picture that is read back, as a window's
    // swap does; nothing to do at one sample per pixel.
    void resolve() const;
    // Resolves the samples and makes the result what GL reads from; then
    // bindForDrawing() makes the multisampled framebuffer current again.
    // Nothing to do at one sample per pixel.
    void bindForReading() const;
    void bindForDrawing() const;
    // The whole framebuffer as 8-bit RGB, top row first (GL reads bottom-up).
    bool readPixels(std::vector<std::uint8_t>& rgb) const;
    // The framebuffer as GL reads it fastest (a plain copy, half the time of
    // RGB), into width * height * 4 bytes: bottom row first, each pixel blue,
    // green, red and a byte of no meaning. For writers that take that order.
    bool readBgrxBottomUp(std::uint8_t* bgrx) const;
    // The same read in two halves, so that the next frame is drawn while GL
    // copies this one, into `count` pixel buffers that stay mapped: an encoder
    // reads a frame straight from its buffer, with no copy, while GL writes
    // the others. False (and no buffers) with the reason where the context
    // cannot keep a buffer mapped (before OpenGL 4.4 without
    // ARB_buffer_storage) or has no memory for them. The
    // buffers go with resize() and destroy().
    bool mapReadBuffers(int count);
    // Each buffer's width * height * 4 bytes, in readBgrxBottomUp()'s order.
    std::uint8_t* readBuffer(int slot) const;
    // startRead() resolves the frame and has it read into buffer `slot`
    // without waiting for it; finishRead() waits until that read is in the
    // buffer. Until then the buffer must not be read, and while it is being
    // read no read may start into it.
    bool startRead(int slot);
    bool finishRead(int slot);
};
