#pragma once

#include <cstdint>

#include "assets/file_stream.h"

struct Image;

// Fills an Image from a file; true on success.
using ImageReader = bool (*)(const char* path, Image* image);

// A tightly packed pixel buffer, top row first, rows unpadded.
// 8 bits: index/grey, 16: luminance+alpha, 24: RGB, 32: RGBA.
struct Image {
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t rowBytes = 0;
    std::uint32_t byteSize = 0;
    std::uint8_t* pixels = nullptr;
    // Why the last reader refused its file.
    ReadFailure failure;

    Image() = default;
    virtual ~Image() { release(); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    virtual void release();
    // Trades pixels with other (both plain Images, whose pixels release frees).
    void swap(Image& other);
    bool allocate(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel);
    bool load(const char* path, ImageReader reader) { return reader(path, this); }
};

// Uncompressed Windows BMP, 8, 24 or 32 bits per pixel.
bool readBmp(const char* path, Image* image);
