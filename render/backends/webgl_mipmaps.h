#pragma once

#include <cstdint>
#include <vector>

// The environment texture's mipmap chain, built on the CPU the way the desktop
// upload builds it, because WebGL 1 makes mipmaps only for power-of-two sides
// and its own generator filters differently. Pixels are tightly packed bytes,
// `components` per pixel, top row first.

// Each side rounded to the nearest power of two (ties of the form 3 * 2^k
// round up), then both sides halved (down to 1) until neither exceeds
// maxSide. A zero side stays 0.
void mipmapBaseSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxSide,
                    std::uint32_t& baseWidth, std::uint32_t& baseHeight);

// Area-weighted box filter from one size to another: every output pixel is
// the coverage-weighted mean of the input pixels under it, truncated to a
// byte. Exactly twice the output size is the 2 x 2 average of halveImage.
void scaleImage(const std::uint8_t* from, std::uint32_t width, std::uint32_t height,
                std::uint8_t* to, std::uint32_t toWidth, std::uint32_t toHeight,
                std::uint32_t components);

// The next level: half of each side (not below 1), each pixel the rounded
// mean of the 2 x 2 (or, with a side of 1, the truncated mean of the 2 x 1)
// pixels above it.
void halveImage(const std::uint8_t* from, std::uint32_t width, std::uint32_t height,
                std::uint8_t* to, std::uint32_t components);

// Every level from the base size down to 1 x 1, level 0 first. False (and no
// levels) for a picture without pixels or with an unusable component count.
struct MipmapLevel {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
};
bool buildMipmaps(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t components, std::uint32_t maxSide,
                  std::vector<MipmapLevel>& levels);
