#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// PNG pictures with libpng: the one encoder of the demo's saved pictures and
// the tool's pictures and clips. Tuned for speed (a clip writes one a frame):
// zlib's fastest level, each row stored as its difference from the row above.

// How the pixels lie in memory, rows unpadded.
enum class PixelOrder {
    RgbTopDown,    // 8-bit RGB, top row first
    RgbBottomUp,   // 8-bit RGB, bottom row first, as glReadPixels gives GL_RGB
    BgrxBottomUp,  // blue, green, red and an unused byte, bottom row first
};

// Writes width x height pixels as an 8-bit RGB PNG into `file` and flushes
// it; the file stays open. False with the reason (without the file's name).
bool encodePng(std::FILE* file, int width, int height, const std::uint8_t* pixels, PixelOrder order,
               std::string& error);
