#pragma once

#include <vector>

// The frame on screen read back into memory made ahead, so a frame that is
// saved (key P) takes nothing from the heap: `fit` makes the memory between
// frames, `read` copies the frame inside one. A multisampled window is read
// through a one-sample copy of it, resolved as the window shows it; reading
// it directly gives one sample of each pixel on some drivers, so polygon
// edges would differ from the window's. Without framebuffer objects it is
// copied through a texture, which resolves it as well. The GL objects go
// with their context.
class FrameReadback {
public:
    FrameReadback() = default;
    FrameReadback(const FrameReadback&) = delete;
    FrameReadback& operator=(const FrameReadback&) = delete;

    // Makes the memory for width x height frames (nothing when it fits
    // already); on the current GL context. False when there is none to have.
    bool fit(int width, int height);
    bool fits(int width, int height) const {
        return width > 0 && height > 0 && width == width_ && height == height_;
    }
    // Copies the back buffer of `source` (0: the window's) into rows().
    bool read(unsigned source = 0);
    // width x height RGB pixels from the start, bottom row first, as OpenGL
    // reads them (the memory may go on beyond them).
    const std::vector<unsigned char>& rows() const { return rows_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Gives the memory and the GL objects back, on the current GL context.
    void release();

private:
    bool makeCopyTexture(int width, int height);
    void readThroughTexture();

    std::vector<unsigned char> rows_;
    int width_ = 0;
    int height_ = 0;
    unsigned framebuffer_ = 0;
    unsigned color_ = 0;
    unsigned texture_ = 0;
    int textureWidth_ = 0;
};
