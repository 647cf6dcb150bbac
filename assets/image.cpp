#include "assets/image.h"

#include <cstdint>
#include <memory>
#include <new>

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

bool readBmp(const char* path, Image* image) {
    if (!image) {
        return false;
    }
    ReadFailure& failure = image->failure;
    failure.clear();
    FileStream stream;
    if (!stream.open(path, "rb", &failure)) {
        return false;
    }

    std::uint8_t signature[2];
    std::uint32_t fileSizeField;
    std::uint32_t reserved;
    std::uint32_t dataOffset;
    std::uint32_t infoSize;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t planes;
    std::uint16_t bitsPerPixel;
    std::uint32_t compression;
    std::uint32_t imageSize;
    std::uint32_t resolutionX;
    std::uint32_t resolutionY;
    std::uint32_t coloursUsed;
    std::uint32_t coloursImportant;
    const bool haveSignature = readU8(stream, signature[0]) && readU8(stream, signature[1]);
    if (haveSignature && (signature[0] != 'B' || signature[1] != 'M')) {
        failure.set("not a BMP picture (the file does not start with BM)");
        return false;
    }
    if (!haveSignature || !readU32(stream, fileSizeField) || !readU32(stream, reserved) ||
        !readU32(stream, dataOffset) || !readU32(stream, infoSize) || !readI32(stream, width) ||
        !readI32(stream, height) || !readU16(stream, planes) || !readU16(stream, bitsPerPixel) ||
        !readU32(stream, compression) || !readU32(stream, imageSize) ||
        !readU32(stream, resolutionX) || !readU32(stream, resolutionY) ||
        !readU32(stream, coloursUsed) || !readU32(stream, coloursImportant)) {
        failure.set("the file is too short for a BMP header");
        return false;
    }
    if (compression != 0) {
        failure.set("BMP compression %u is not supported", compression);
        return false;
    }
    if (height == 0 || width <= 0) {
        failure.set("BMP size %d x %d is not supported", width, height);
        return false;
    }
    if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        failure.set("BMP with %u bits per pixel is not supported", unsigned(bitsPerPixel));
        return false;
    }

    // Sizes are taken in 64 bits and held against the real file before any allocation.
    const long fileBytes = stream.fileSize();
    if (fileBytes < 0 || std::int64_t(dataOffset) > std::int64_t(fileBytes) ||
        !stream.seek(long(dataOffset))) {
        failure.set("BMP pixel data starts past the end of the file");
        return false;
    }
    const std::uint64_t rows =
        height < 0 ? std::uint64_t(-std::int64_t(height)) : std::uint64_t(height);
    const std::uint64_t pixelBytes = std::uint64_t(bitsPerPixel / 8);
    const std::uint64_t fileRowBytes = (pixelBytes * std::uint64_t(width) + 3) & ~std::uint64_t(3);
    const std::uint64_t totalBytes = fileRowBytes * rows;
    if (fileRowBytes > UINT32_MAX || totalBytes > UINT32_MAX) {
        failure.set("BMP picture of %d x %llu is too large", width,
                    static_cast<unsigned long long>(rows));
        return false;
    }
    if (totalBytes > std::uint64_t(fileBytes) - dataOffset) {
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
    if (!image->allocate(std::uint32_t(width), std::uint32_t(rows), bitsPerPixel)) {
        failure.set("no memory for a %d x %llu picture", width,
                    static_cast<unsigned long long>(rows));
        return false;
    }

    // Image row 0 is the top of the picture whichever way the file stores its rows.
    for (std::uint64_t i = 0; i < rows; ++i) {
        const std::uint64_t fileRow = height > 0 ? rows - 1 - i : i;
        const std::uint8_t* source = buffer.get() + fileRow * fileRowBytes;
        std::uint8_t* target = image->pixels + i * image->rowBytes;
        const std::uint32_t pixelCount = image->width;
        if (bitsPerPixel == 8) {
            for (std::uint32_t x = 0; x < pixelCount; ++x) {
                target[x] = source[x];
            }
        } else if (bitsPerPixel == 24) {
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
    stream.close();
    return true;
}
