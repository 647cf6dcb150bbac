#include "assets/picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "assets/file_stream.h"
#include "assets/picture_decoder.h"

extern "C" {
#define STBI_NO_STDIO
#include <stb/stb_image.h>
}

namespace {

enum class PictureKind { Bmp, Png, Jpeg, Unknown };

PictureKind kindOf(const std::uint8_t* start, std::size_t size) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 2 && start[0] == 'B' && start[1] == 'M') {
        return PictureKind::Bmp;
    }
    if (size >= 8 && std::memcmp(start, png, 8) == 0) {
        return PictureKind::Png;
    }
    if (size >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF) {
        return PictureKind::Jpeg;
    }
    return PictureKind::Unknown;
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

// A PNG's compressed pixels can never need to be much larger than the rows
// they stand for; a file whose IDAT chunks are is refused before inflating,
// which bounds how far a small picture can be made to inflate.
bool pngDataFits(const std::uint8_t* bytes, std::size_t size, ReadFailure& failure) {
    std::uint64_t rowBytes = 0;
    std::uint64_t rows = 0;
    std::uint64_t compressed = 0;
    for (std::size_t at = 8; at + 8 <= size;) {
        const std::uint64_t length = bigEndian32(bytes + at);
        const std::uint8_t* type = bytes + at + 4;
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13 && at + 8 + 13 <= size) {
            const std::uint8_t* header = bytes + at + 8;
            static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
            const int colorType = header[9] <= 6 ? channels[header[9]] : 4;
            rowBytes = 1 + (std::uint64_t(bigEndian32(header)) * colorType * header[8] + 7) / 8;
            rows = bigEndian32(header + 4);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            compressed += length;
        }
        at += 12 + std::size_t(length);
    }
    // Interlaced rows add a filter byte per pass row; stored deflate blocks a
    // few bytes per 64 KiB.
    const std::uint64_t raw = rowBytes * rows + 8 * rows;
    if (compressed > raw + raw / 4 + 65536) {
        failure.set("PNG holds %llu bytes of compressed pixels for %llu of picture",
                    static_cast<unsigned long long>(compressed),
                    static_cast<unsigned long long>(raw));
        return false;
    }
    return true;
}

// FF D9 among the last bytes (some writers leave padding after it).
bool hasEndMarker(const std::uint8_t* bytes, std::size_t size) {
    const std::size_t from = size > 4096 ? size - 4096 : 0;
    for (std::size_t at = size; at-- > from + 1;) {
        if (bytes[at - 1] == 0xFF && bytes[at] == 0xD9) {
            return true;
        }
    }
    return false;
}

// Every Huffman table of the JPEG's DHT segments lists at most 256 codes.
// The decoder's table builder writes one entry per listed code into a
// 257-entry array without counting them, so a table listing more would be
// written past its end: such a file is refused before decoding. Segments
// are walked marker by marker, and the coded data of each scan is passed
// over up to the next marker (FF followed by neither 00 nor a restart mark).
bool jpegTablesFit(const std::uint8_t* bytes, std::size_t size) {
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (bytes[at] != 0xFF) {
            ++at;  // coded data of a scan
            continue;
        }
        const std::uint8_t marker = bytes[at + 1];
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7)) {
            at += marker == 0xFF ? 1 : 2;  // stuffed byte, fill byte, restart mark
            continue;
        }
        if (marker == 0xD9) {
            return true;
        }
        const std::size_t length = (std::size_t(bytes[at + 2]) << 8) | bytes[at + 3];
        const std::size_t end = std::min(size, at + 2 + length);
        // The decoder reads a table while the segment has a byte left, its
        // counts even past the segment's end (and as 0 past the file's).
        for (std::size_t table = at + 4; marker == 0xC4 && table < end;) {
            std::size_t codes = 0;
            for (std::size_t i = table + 1; i <= table + 16 && i < size; ++i) {
                codes += bytes[i];
            }
            if (codes > 256) {
                return false;
            }
            table += 17 + codes;
        }
        at = end;
    }
    return true;
}

struct DecodedPixels {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

// The decoded pixels, at their own size or fitted to the texture.
bool adoptDecoded(Image& image, const std::uint8_t* rgb, std::uint32_t width, std::uint32_t height,
                  bool fit) {
    if (fit) {
        return adoptResampled(image, rgb, width, height);
    }
    if (!image.allocate(width, height, 24)) {
        return false;
    }
    std::memcpy(image.pixels, rgb, image.byteSize);
    return true;
}

// PNG or JPEG bytes to a 24-bit image, fitted to the texture when asked.
bool decodeCompressed(const std::uint8_t* bytes, std::size_t size, PictureKind kind, bool fit,
                      Image& image) {
    const char* name = kind == PictureKind::Png ? "PNG" : "JPEG";
    int width = 0;
    int height = 0;
    int channels = 0;
    // Even reading the header builds the Huffman tables.
    if (kind == PictureKind::Jpeg && !jpegTablesFit(bytes, size)) {
        image.failure.set("JPEG could not be decoded: a Huffman table lists more than 256 codes");
        return false;
    }
    if (kind == PictureKind::Jpeg && !hasEndMarker(bytes, size)) {
        // The decoder would make up the missing rows.
        image.failure.set("JPEG could not be decoded: the file is cut short (no end marker)");
        return false;
    }
    if (!stbi_info_from_memory(bytes, int(size), &width, &height, &channels)) {
        image.failure.set("%s could not be read: %s", name, stbi_failure_reason());
        return false;
    }
    const std::uint64_t pixelCount = std::uint64_t(width) * std::uint64_t(height);
    if (pixelCount > kMaxPicturePixels) {
        image.failure.set("%s of %d x %d pixels is over the %llu-megapixel limit", name, width,
                          height, static_cast<unsigned long long>(kMaxPicturePixels >> 20));
        return false;
    }
    if (kind == PictureKind::Png && !pngDataFits(bytes, size, image.failure)) {
        return false;
    }
    // Every 8x8 block of a JPEG costs at least one bit of coded data, so a
    // whole picture has at least a byte for each 512 pixels. A file with far
    // fewer is mostly made up by the decoder, at the cost of a large one.
    if (kind == PictureKind::Jpeg && std::uint64_t(size) * kMostJpegPixelsPerByte < pixelCount) {
        image.failure.set("JPEG could not be decoded: %d x %d pixels cannot come from %llu bytes",
                          width, height, static_cast<unsigned long long>(size));
        return false;
    }
    std::unique_ptr<stbi_uc, DecodedPixels> pixels(
        stbi_load_from_memory(bytes, int(size), &width, &height, &channels, 3));
    if (!pixels) {
        image.failure.set("%s could not be decoded: %s", name, stbi_failure_reason());
        return false;
    }
    const int orientation = kind == PictureKind::Jpeg ? jpegOrientation(bytes, size) : 1;
    if (!adoptDecoded(image, pixels.get(), std::uint32_t(width), std::uint32_t(height), fit) ||
        !applyOrientation(image, orientation)) {
        image.failure.set("no memory for a %d x %d picture", width, height);
        return false;
    }
    return true;
}

bool readPictureFile(const char* path, Image* image, bool fit) {
    if (!image) {
        return false;
    }
    ReadFailure& failure = image->failure;
    failure.clear();
    FileStream stream;
    if (!stream.open(path, "rb", &failure)) {
        return false;
    }
    const long fileBytes = stream.fileSize();
    std::uint8_t start[8] = {};
    const std::size_t startBytes = fileBytes < 8 ? std::size_t(std::max(fileBytes, 0L)) : 8;
    if (fileBytes <= 0 || !stream.read(start, startBytes)) {
        failure.set(fileBytes == 0 ? "the picture file is empty" : "the picture cannot be read");
        return false;
    }
    const PictureKind kind = kindOf(start, startBytes);
    if (kind == PictureKind::Unknown) {
        failure.set("not a BMP, PNG or JPEG picture");
        return false;
    }
    if (kind == PictureKind::Bmp) {
        stream.close();
        return readBmp(path, image) && (!fit || image->bitsPerPixel != 24 || fitToTexture(*image));
    }
    if (fileBytes > kMaxPictureFileBytes) {
        failure.set("picture file of %ld bytes is over the %ld MiB limit", fileBytes,
                    kMaxPictureFileBytes >> 20);
        return false;
    }
    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[std::size_t(fileBytes)]);
    if (!bytes) {
        failure.set("no memory for a picture file of %ld bytes", fileBytes);
        return false;
    }
    std::memcpy(bytes.get(), start, startBytes);
    if (!stream.read(bytes.get() + startBytes, std::size_t(fileBytes) - startBytes)) {
        failure.set("the picture file could not be read");
        return false;
    }
    stream.close();
    return decodeCompressed(bytes.get(), std::size_t(fileBytes), kind, fit, *image);
}

}  // namespace

bool readPicture(const char* path, Image* image) {
    return readPictureFile(path, image, true);
}

bool decodePicture(const char* path, Image* image) {
    return readPictureFile(path, image, false);
}

const char* pictureFormat(const std::uint8_t* start, std::size_t size) {
    static const char* const names[] = {"BMP", "PNG", "JPEG", nullptr};
    return names[int(kindOf(start, size))];
}

namespace {

// The orientation tag (0x0112) of a TIFF structure's first IFD, 1 when absent.
int tiffOrientation(const std::uint8_t* tiff, std::size_t size) {
    if (size < 8 || (std::memcmp(tiff, "II", 2) != 0 && std::memcmp(tiff, "MM", 2) != 0)) {
        return 1;
    }
    const bool little = tiff[0] == 'I';
    auto u16 = [&](std::size_t at) {
        return little ? unsigned(tiff[at] | (tiff[at + 1] << 8))
                      : unsigned((tiff[at] << 8) | tiff[at + 1]);
    };
    auto u32 = [&](std::size_t at) {
        return little ? (std::uint32_t(u16(at + 2)) << 16) | u16(at)
                      : (std::uint32_t(u16(at)) << 16) | u16(at + 2);
    };
    const std::uint32_t ifd = u32(4);
    if (ifd > size - 2) {
        return 1;
    }
    const unsigned entries = u16(ifd);
    for (unsigned e = 0; e < entries && ifd + 2 + 12 * std::size_t(e + 1) <= size; ++e) {
        const std::size_t entry = ifd + 2 + 12 * std::size_t(e);
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
            const unsigned value = u16(entry + 8);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

}  // namespace

int jpegOrientation(const std::uint8_t* bytes, std::size_t size) {
    // Markers before the first scan: FF xx, then a big-endian length that
    // counts itself. The EXIF block is an APP1 (FF E1) starting "Exif\0\0".
    std::size_t at = 2;
    while (at + 4 <= size && bytes[at] == 0xFF) {
        const std::uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            break;
        }
        const std::size_t length = (std::size_t(bytes[at + 2]) << 8) | bytes[at + 3];
        if (length < 2 || at + 2 + length > size) {
            break;
        }
        const std::uint8_t* data = bytes + at + 4;
        if (marker == 0xE1 && length >= 8 && std::memcmp(data, "Exif\0\0", 6) == 0) {
            return tiffOrientation(data + 6, length - 8);
        }
        at += 2 + length;
    }
    return 1;
}
