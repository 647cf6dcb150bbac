#pragma once

#include <cstddef>
#include <cstdint>

#include "assets/image.h"

// Pictures people bring: BMP (as readBmp reads it), PNG and JPEG, told apart
// by their first bytes, never by the file's name. PNG and JPEG are decoded to
// 24-bit RGB and taken as sRGB (embedded gamma and colour profiles are not
// applied); 16-bit and palette PNGs come out as 8-bit RGB; a JPEG's EXIF
// orientation is applied. Alpha is dropped: the picture is the sky.

// Largest picture decoded: 64 megapixels. A larger one is refused from its
// header, before any pixel is decoded.
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t(64) << 20;
// A JPEG with more pixels than this for each of its bytes cannot hold the
// whole picture (each 8x8 block takes at least a bit: 512 pixels a byte, and
// twice that for margin); it is refused before decoding.
constexpr std::uint64_t kMostJpegPixelsPerByte = 1024;
// Largest picture file read whole for decoding.
constexpr long kMaxPictureFileBytes = long(256) << 20;
// The texture's longest side; sides are also made powers of two.
constexpr std::uint32_t kMaxTextureSide = 2048;

// An ImageReader: reads the picture and fits it to the texture (see
// fitToTexture). On failure image->failure says why, in one line.
bool readPicture(const char* path, Image* image);

// What readPicture reads, as the file holds it, not fitted to the texture: a
// BMP as readBmp reads it, a PNG or JPEG as 24-bit RGB at its own size (a
// JPEG turned upright). The same limits and reasons.
bool decodePicture(const char* path, Image* image);

// "BMP", "PNG" or "JPEG" when a file's first bytes (up to 8) are those of
// a picture readPicture reads, else null.
const char* pictureFormat(const std::uint8_t* start, std::size_t size);

// Each side rounded to the nearest power of two (by ratio), at most
// kMaxTextureSide.
std::uint32_t textureSide(std::uint32_t side);

// Resamples a 24-bit image whose sides are not already what textureSide
// gives them, with a tent filter as wide as the reduction, in linear light.
// An image that already fits is left untouched, to the bit. False only when
// memory runs out (failure says so; the image is then unchanged).
bool fitToTexture(Image& image);

// Replaces image's pixels with width x height packed RGB pixels (not
// owned) fitted to the texture; false when memory runs out (image unchanged).
bool adoptResampled(Image& image, const std::uint8_t* rgb, std::uint32_t width,
                    std::uint32_t height);

// The EXIF orientation (1 to 8) a JPEG's APP1 segment gives, 1 when it has
// none or it cannot be read.
int jpegOrientation(const std::uint8_t* bytes, std::size_t size);

// Turns or mirrors a 24-bit image as EXIF orientation 2 to 8 asks, so its
// top row is the picture's top; false when memory runs out.
bool applyOrientation(Image& image, int orientation);
