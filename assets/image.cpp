#include "assets/image.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "assets/file_stream.h"

namespace {

// BMP numbers are little-endian; every header read is checked, so a short
// file never leaves a field unset.
bool readU8(FileStream& stream, std::uint8_t& value) {
    return stream.read(&value, 1);
}

bool readU16(FileStream& stream, std::uint16_t& value) {
    std::uint8_t bytes[2];
    if (!stream.read(bytes, sizeof bytes)) {
        return false;
    }
    value = std::uint16_t(bytes[0] | (bytes[1] << 8));
    return true;
}

bool readU32(FileStream& stream, std::uint32_t& value) {
    std::uint8_t bytes[4];
    if (!stream.read(bytes, sizeof bytes)) {
        return false;
    }
    value = std::uint32_t(bytes[0]) | (std::uint32_t(bytes[1]) << 8) |
            (std::uint32_t(bytes[2]) << 16) | (std::uint32_t(bytes[3]) << 24);
    return true;
}

bool readI32(FileStream& stream, std::int32_t& value) {
    std::uint32_t bits;
    if (!readU32(stream, bits)) {
        return false;
    }
    value = std::int32_t(bits);
    return true;
}

}  // namespace

void Image::swap(Image& other) {
    std::swap(bitsPerPixel, other.bitsPerPixel);
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(rowBytes, other.rowBytes);
    std::swap(byteSize, other.byteSize);
    std::swap(pixels, other.pixels);
    std::swap(failure, other.failure);
}

void Image::release() {
    if (!pixels) {
        return;
    }
    delete[] pixels;
    pixels = nullptr;
    byteSize = 0;
    bitsPerPixel = 0;
    rowBytes = 0;
    height = 0;
    width = 0;
}

bool Image::allocate(std::uint32_t width_, std::uint32_t height_, std::uint32_t bitsPerPixel_) {
    release();
    // 32 bits is the widest pixel an Image describes; sizes must fit the 32-bit fields.
    if (width_ == 0 || height_ == 0 || bitsPerPixel_ == 0 || bitsPerPixel_ > 32) {
        return false;
    }
    const std::uint64_t row = std::uint64_t(width_) * ((bitsPerPixel_ + 7) / 8);
    if (row > UINT32_MAX) {
        return false;
    }
    const std::uint64_t total = row * height_;
    if (total > UINT32_MAX) {
        return false;
    }
    // No memory leaves the image empty, so its sizes never describe a missing buffer.
    pixels = new (std::nothrow) std::uint8_t[std::size_t(total)];
    if (!pixels) {
        return false;
    }
    width = width_;
    rowBytes = std::uint32_t(row);
    height = height_;
    bitsPerPixel = bitsPerPixel_;
    byteSize = std::uint32_t(total);
    return true;
}

namespace {

// The fields of the file and info headers the reader uses.
struct BmpHeader {
    std::uint32_t dataOffset = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows stored top first
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
};

// Reads both headers (the 40-byte info header's fields, whatever its size
// says) and refuses what the reader does not support.
bool readHeader(FileStream& stream, BmpHeader& header, ReadFailure& failure) {
    std::uint8_t signature[2];
    std::uint32_t skipped32;
    std::uint16_t planes;
    const bool haveSignature = readU8(stream, signature[0]) && readU8(stream, signature[1]);
    if (haveSignature && (signature[0] != 'B' || signature[1] != 'M')) {
        failure.set("not a BMP picture (the file does not start with BM)");
        return false;
    }
    // File size, reserved; then info size; later image size, resolutions and colour counts.
    if (!haveSignature || !readU32(stream, skipped32) || !readU32(stream, skipped32) ||
        !readU32(stream, header.dataOffset) || !readU32(stream, skipped32) ||
        !readI32(stream, header.width) || !readI32(stream, header.height) ||
        !readU16(stream, planes) || !readU16(stream, header.bitsPerPixel) ||
        !readU32(stream, header.compression) || !readU32(stream, skipped32) ||
        !readU32(stream, skipped32) || !readU32(stream, skipped32) || !readU32(stream, skipped32) ||
        !readU32(stream, skipped32)) {
        failure.set("the file is too short for a BMP header");
        return false;
    }
    if (header.compression != 0) {
        failure.set("BMP compression %u is not supported", header.compression);
        return false;
    }
    if (header.height == 0 || header.width <= 0) {
        failure.set("BMP size %d x %d is not supported", header.width, header.height);
        return false;
    }
    const unsigned bits = header.bitsPerPixel;
    if (bits != 8 && bits != 24 && bits != 32) {
        failure.set("BMP with %u bits per pixel is not supported", bits);
        return false;
    }
    return true;
}

// Converts the file's rows (padded to 4 bytes, BGR(A)) to the image's
// (top row first, RGB(A)).
void copyRows(const std::uint8_t* rowsInFile, std::uint64_t fileRowBytes, bool bottomUp,
              Image& image) {
    const std::uint32_t pixelCount = image.width;
    for (std::uint64_t i = 0; i < image.height; ++i) {
        const std::uint64_t fileRow = bottomUp ? image.height - 1 - i : i;
        const std::uint8_t* source = rowsInFile + fileRow * fileRowBytes;
        std::uint8_t* target = image.pixels + i * image.rowBytes;
        if (image.bitsPerPixel == 8) {
            for (std::uint32_t x = 0; x < pixelCount; ++x) {
                target[x] = source[x];
            }
        } else if (image.bitsPerPixel == 24) {
            for (std::uint32_t x = 0; x < pixelCount; ++x) {
                target[3 * x] = source[3 * x + 2];
                target[3 * x + 1] = source[3 * x + 1];
                target[3 * x + 2] = source[3 * x];
            }
        } else {
            for (std::uint32_t x = 0; x < pixelCount; ++x) {
                target[4 * x] = source[4 * x + 2];
                target[4 * x + 1] = source[4 * x + 1];
                target[4 * x + 2] = source[4 * x];
                target[4 * x + 3] = source[4 * x + 3];
            }
        }
    }
}

}  // namespace

bool readBmp(const char* path, Image* image) {
    if (!image) {
        return false;
    }
    ReadFailure& failure = image->failure;
    failure.clear();
    FileStream stream;
    BmpHeader header;
    if (!stream.open(path, "rb", &failure) || !readHeader(stream, header, failure)) {
        return false;
    }
    // Sizes are taken in 64 bits and held against the real file before any allocation.
    const long fileBytes = stream.fileSize();
    if (fileBytes < 0 || std::int64_t(header.dataOffset) > std::int64_t(fileBytes) ||
        !stream.seek(long(header.dataOffset))) {
        failure.set("BMP pixel data starts past the end of the file");
        return false;
    }
    const std::int32_t width = header.width;
    const std::uint64_t rows = header.height < 0 ? std::uint64_t(-std::int64_t(header.height))
                                                 : std::uint64_t(header.height);
    const std::uint64_t pixelBytes = std::uint64_t(header.bitsPerPixel / 8);
    const std::uint64_t fileRowBytes = (pixelBytes * std::uint64_t(width) + 3) & ~std::uint64_t(3);
    const std::uint64_t totalBytes = fileRowBytes * rows;
    if (fileRowBytes > UINT32_MAX || totalBytes > UINT32_MAX) {
        failure.set("BMP picture of %d x %llu is too large", width,
                    static_cast<unsigned long long>(rows));
        return false;
    }
    if (totalBytes > std::uint64_t(fileBytes) - header.dataOffset) {
        failure.set("BMP pixel rows run past the end of the file");
        return false;
    }
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                               std::uint8_t[std::size_t(totalBytes)]);
    if (!buffer) {
        failure.set("no memory for %llu bytes of pixels",
                    static_cast<unsigned long long>(totalBytes));
        return false;
    }
    if (!stream.read(buffer.get(), std::size_t(totalBytes))) {
        failure.set("BMP pixel rows could not be read");
        return false;
    }
    if (!image->allocate(std::uint32_t(width), std::uint32_t(rows), header.bitsPerPixel)) {
        failure.set("no memory for a %d x %llu picture", width,
                    static_cast<unsigned long long>(rows));
        return false;
    }
    copyRows(buffer.get(), fileRowBytes, header.height > 0, *image);
    stream.close();
    return true;
}
