#include "assets/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/allocation_probe.h"
#include "tests/support.h"

using testing_support::scratchPath;
using testing_support::writeFile;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian byte building for BMP files.
void putU16(Bytes& out, std::uint32_t value) {
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void putU32(Bytes& out, std::uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

// The byte at channel c of the pixel at (x, fileRow), as stored in the file.
std::uint8_t sample(std::uint32_t x, std::uint32_t fileRow, std::uint32_t c) {
    return std::uint8_t(x * 7 + fileRow * 31 + c * 101 + 1);
}

struct BmpSpec {
    std::int32_t width = 2;
    std::int32_t height = 2;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;
    std::uint32_t paletteEntries = 0;  // 4 bytes each, between the headers and the pixels
    bool writePixels = true;
};

// A BMP whose pixel bytes come from sample(); the data offset follows the
// info header and palette.
Bytes makeBmp(const BmpSpec& spec) {
    const std::uint32_t rows =
        std::uint32_t(spec.height < 0 ? -std::int64_t(spec.height) : spec.height);
    const std::uint32_t pixelBytes = spec.bitsPerPixel / 8u;
    const std::uint32_t rowBytes = (std::uint32_t(spec.width) * pixelBytes + 3u) & ~3u;
    const std::uint32_t offset = 14 + spec.infoSize + 4 * spec.paletteEntries;
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    putU32(out, offset + rowBytes * rows);
    putU32(out, 0);
    putU32(out, offset);
    putU32(out, spec.infoSize);
    putU32(out, std::uint32_t(spec.width));
    putU32(out, std::uint32_t(spec.height));
    putU16(out, 1);
    putU16(out, spec.bitsPerPixel);
    putU32(out, spec.compression);
    putU32(out, rowBytes * rows);
    putU32(out, 2835);
    putU32(out, 2835);
    putU32(out, spec.paletteEntries);
    putU32(out, 0);
    out.resize(14 + spec.infoSize, 0xAB);  // a larger header's extra fields
    for (std::uint32_t i = 0; i < spec.paletteEntries; ++i) {
        putU32(out, 0xFF000000u | (i * 0x010101u));
    }
    if (spec.writePixels) {
        for (std::uint32_t r = 0; r < rows; ++r) {
            for (std::uint32_t x = 0; x < std::uint32_t(spec.width); ++x) {
                for (std::uint32_t c = 0; c < pixelBytes; ++c) {
                    out.push_back(sample(x, r, c));
                }
            }
            for (std::uint32_t pad = std::uint32_t(spec.width) * pixelBytes; pad < rowBytes;
                 ++pad) {
                out.push_back(0xEE);
            }
        }
    }
    return out;
}

std::string save(const std::string& name, const Bytes& bytes) {
    const std::string path = scratchPath(name);
    EXPECT_TRUE(writeFile(path, bytes));
    return path;
}

bool load(Image& image, const Bytes& bytes, const std::string& name = "image.bmp") {
    return readBmp(save(name, bytes).c_str(), &image);
}

void expectEmpty(const Image& image) {
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0u);
    EXPECT_EQ(image.height, 0u);
    EXPECT_EQ(image.bitsPerPixel, 0u);
    EXPECT_EQ(image.rowBytes, 0u);
    EXPECT_EQ(image.byteSize, 0u);
}

// Every image pixel equals the file pixel it came from, with the rows turned
// top first and the colour channels turned to red, green, blue(, alpha).
void expectPixelsFromFile(const Image& image, bool bottomUp) {
    const std::uint32_t channels = image.bitsPerPixel / 8;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint32_t fileRow = bottomUp ? image.height - 1 - y : y;
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint8_t* pixel = image.pixels + y * image.rowBytes + x * channels;
            if (channels == 1) {
                ASSERT_EQ(pixel[0], sample(x, fileRow, 0));
            } else {
                ASSERT_EQ(pixel[0], sample(x, fileRow, 2)) << x << "," << y;
                ASSERT_EQ(pixel[1], sample(x, fileRow, 1)) << x << "," << y;
                ASSERT_EQ(pixel[2], sample(x, fileRow, 0)) << x << "," << y;
                if (channels == 4) {
                    ASSERT_EQ(pixel[3], sample(x, fileRow, 3)) << x << "," << y;
                }
            }
        }
    }
}

// --- Image buffer -------------------------------------------------------------

TEST(Image, AllocateSetsPackedGeometry) {
    Image image;
    expectEmpty(image);
    ASSERT_TRUE(image.allocate(5, 3, 24));
    EXPECT_EQ(image.width, 5u);
    EXPECT_EQ(image.height, 3u);
    EXPECT_EQ(image.bitsPerPixel, 24u);
    EXPECT_EQ(image.rowBytes, 15u);
    EXPECT_EQ(image.byteSize, 45u);
    ASSERT_NE(image.pixels, nullptr);
    std::memset(image.pixels, 0x5A, image.byteSize);
    ASSERT_TRUE(image.allocate(3, 2, 16));
    EXPECT_EQ(image.rowBytes, 6u);
    EXPECT_EQ(image.byteSize, 12u);
    image.release();
    expectEmpty(image);
}

TEST(Image, AllocateWithAZeroArgumentLeavesItEmpty) {
    const std::uint32_t cases[][3] = {{0, 4, 8}, {4, 0, 8}, {4, 4, 0}};
    for (const auto& c : cases) {
        Image image;
        ASSERT_TRUE(image.allocate(2, 2, 32));
        EXPECT_FALSE(image.allocate(c[0], c[1], c[2]));
        expectEmpty(image);
    }
}

TEST(Image, AllocateRefusesSizesBeyondThirtyTwoBits) {
    const std::uint32_t cases[][3] = {
        {0x40000000u, 1, 32}, {65536, 65536, 8}, {0xFFFFFFFFu, 0xFFFFFFFFu, 32},
        {1, 1, 0xFFFFFFFFu},  {1, 1, 33},        {0x20000000u, 2, 32}};
    for (const auto& c : cases) {
        Image image;
        ASSERT_TRUE(image.allocate(2, 2, 8));
        allocation_probe::reset();
        EXPECT_FALSE(image.allocate(c[0], c[1], c[2])) << c[0] << "x" << c[1] << "x" << c[2];
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        expectEmpty(image);
    }
    Image largest;
    EXPECT_TRUE(largest.allocate(0xFFFF, 1, 32));
}

TEST(Image, AllocationFailureLeavesAnEmptyImage) {
    Image image;
    ASSERT_TRUE(image.allocate(4, 4, 8));
    allocation_probe::nothrowAllowance = 0;
    EXPECT_FALSE(image.allocate(8, 8, 24));
    allocation_probe::reset();
    expectEmpty(image);
}

TEST(Image, ReleaseOnAnEmptyImageChangesNothing) {
    Image image;
    image.width = 7;
    image.height = 3;
    image.bitsPerPixel = 8;
    image.rowBytes = 7;
    image.byteSize = 21;
    image.release();
    EXPECT_EQ(image.width, 7u);
    EXPECT_EQ(image.height, 3u);
    EXPECT_EQ(image.bitsPerPixel, 8u);
    EXPECT_EQ(image.rowBytes, 7u);
    EXPECT_EQ(image.byteSize, 21u);
    image.width = image.height = image.bitsPerPixel = image.rowBytes = image.byteSize = 0;
}

struct CountingImage : Image {
    int releases = 0;
    void release() override {
        ++releases;
        Image::release();
    }
};

TEST(Image, AllocateReleasesThroughTheOverride) {
    CountingImage image;
    ASSERT_TRUE(image.allocate(1, 1, 8));
    EXPECT_FALSE(image.allocate(0, 1, 8));
    EXPECT_EQ(image.releases, 2);
}

TEST(Image, LoadCallsTheReader) {
    Image image;
    EXPECT_TRUE(image.load("anything", [](const char* path, Image* target) {
        return std::strcmp(path, "anything") == 0 && target->allocate(1, 1, 8);
    }));
    EXPECT_NE(image.pixels, nullptr);
    EXPECT_FALSE(image.load("x", [](const char*, Image*) { return false; }));
}

// --- BMP reader ---------------------------------------------------------------

TEST(ReadBmp, BottomUp24BitPictureIsTurnedTopFirstInRgbOrder) {
    BmpSpec spec;
    spec.width = 256;
    spec.height = 256;
    Image image;
    ASSERT_TRUE(load(image, makeBmp(spec)));
    EXPECT_EQ(image.width, 256u);
    EXPECT_EQ(image.height, 256u);
    EXPECT_EQ(image.bitsPerPixel, 24u);
    EXPECT_EQ(image.rowBytes, 768u);
    EXPECT_EQ(image.byteSize, 196608u);
    expectPixelsFromFile(image, true);
}

TEST(ReadBmp, PaddedRowsLoseTheirPadding) {
    BmpSpec spec;
    spec.width = 5;
    spec.height = 3;
    const Bytes file = makeBmp(spec);
    EXPECT_EQ(file.size(), 54u + 16u * 3u);
    Image image;
    ASSERT_TRUE(load(image, file));
    EXPECT_EQ(image.rowBytes, 15u);
    EXPECT_EQ(image.byteSize, 45u);
    expectPixelsFromFile(image, true);
}

TEST(ReadBmp, EightBitKeepsIndicesAndSkipsThePalette) {
    BmpSpec spec;
    spec.width = 6;
    spec.height = 4;
    spec.bitsPerPixel = 8;
    spec.paletteEntries = 256;
    Image image;
    ASSERT_TRUE(load(image, makeBmp(spec)));
    EXPECT_EQ(image.bitsPerPixel, 8u);
    EXPECT_EQ(image.rowBytes, 6u);
    EXPECT_EQ(image.byteSize, 24u);
    expectPixelsFromFile(image, true);
}

TEST(ReadBmp, TopDownRowsAreCopiedInFileOrder) {
    BmpSpec spec;
    spec.width = 3;
    spec.height = -4;
    Image image;
    ASSERT_TRUE(load(image, makeBmp(spec)));
    EXPECT_EQ(image.height, 4u);
    expectPixelsFromFile(image, false);
}

TEST(ReadBmp, ThirtyTwoBitKeepsAlphaAndLargerHeadersAreSkipped) {
    BmpSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.bitsPerPixel = 32;
    spec.infoSize = 124;
    Image image;
    ASSERT_TRUE(load(image, makeBmp(spec)));
    EXPECT_EQ(image.rowBytes, 12u);
    expectPixelsFromFile(image, true);
}

TEST(ReadBmp, RefusesWhatItDoesNotRead) {
    std::vector<std::pair<std::string, BmpSpec>> cases;
    for (std::uint16_t depth : {1, 4, 16, 0, 48}) {
        BmpSpec spec;
        spec.bitsPerPixel = depth;
        cases.emplace_back("depth" + std::to_string(depth), spec);
    }
    for (std::uint32_t compression : {1u, 2u, 3u, 4u}) {
        BmpSpec spec;
        spec.bitsPerPixel = compression == 1 ? 8 : compression == 2 ? 24 : 32;
        spec.compression = compression;
        cases.emplace_back("compression" + std::to_string(compression), spec);
    }
    BmpSpec zeroHeight;
    zeroHeight.height = 0;
    cases.emplace_back("zero_height", zeroHeight);
    BmpSpec zeroWidth;
    zeroWidth.width = 0;
    cases.emplace_back("zero_width", zeroWidth);
    BmpSpec negativeWidth;
    negativeWidth.width = -2;
    negativeWidth.writePixels = false;
    cases.emplace_back("negative_width", negativeWidth);

    for (const auto& [name, spec] : cases) {
        Image image;
        EXPECT_FALSE(load(image, makeBmp(spec), name + ".bmp")) << name;
        expectEmpty(image);
    }

    Bytes badSignature = makeBmp(BmpSpec());
    badSignature[1] = 'N';
    Image image;
    EXPECT_FALSE(load(image, badSignature, "signature.bmp"));
    EXPECT_FALSE(readBmp(scratchPath("missing.bmp").c_str(), &image));
    EXPECT_FALSE(readBmp(save("null.bmp", makeBmp(BmpSpec())).c_str(), nullptr));
    expectEmpty(image);
}

TEST(ReadBmp, EveryTruncationIsRefusedAndKeepsThePreviousPicture) {
    BmpSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.bitsPerPixel = 8;
    spec.paletteEntries = 4;
    const Bytes full = makeBmp(spec);
    Image image;
    ASSERT_TRUE(image.allocate(2, 2, 8));
    std::memset(image.pixels, 0x42, image.byteSize);
    const std::uint8_t* pixels = image.pixels;
    for (std::size_t length = 0; length < full.size(); ++length) {
        const Bytes prefix(full.begin(), full.begin() + long(length));
        EXPECT_FALSE(load(image, prefix, "prefix.bmp")) << "length " << length;
        ASSERT_EQ(image.pixels, pixels);
        EXPECT_EQ(image.width, 2u);
        EXPECT_EQ(image.pixels[3], 0x42);
    }
    EXPECT_TRUE(load(image, full, "full.bmp"));
}

TEST(ReadBmp, HugeOrOverflowingSizesFailBeforeAllocating) {
    auto header = [](std::int32_t width, std::int32_t height, std::uint16_t depth,
                     std::uint32_t offset) {
        BmpSpec spec;
        spec.width = width;
        spec.height = height;
        spec.bitsPerPixel = depth;
        spec.writePixels = false;
        Bytes file = makeBmp(spec);
        file[10] = std::uint8_t(offset);
        file[11] = std::uint8_t(offset >> 8);
        file[12] = std::uint8_t(offset >> 16);
        file[13] = std::uint8_t(offset >> 24);
        file.resize(file.size() + 64, 0x11);
        return file;
    };
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"row_overflow", header(0x40000000, 1, 32, 54)},
        {"row_overflow_24", header(0x55555556, 1, 24, 54)},
        {"total_overflow", header(0x10000, 0x10000, 32, 54)},
        {"widest_height", header(1, INT32_MIN, 8, 54)},
        {"larger_than_file", header(1000, 1000, 24, 54)},
        {"offset_past_file", header(1, 1, 8, 0xFFFFFFF0u)},
        {"offset_near_end", header(4, 4, 8, 110)},
    };
    for (const auto& [name, bytes] : cases) {
        Image image;
        allocation_probe::reset();
        EXPECT_FALSE(load(image, bytes, name + ".bmp")) << name;
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20) << name;
        expectEmpty(image);
    }
}

TEST(ReadBmp, AllocationFailureIsAFailedLoad) {
    BmpSpec spec;
    spec.width = 4;
    spec.height = 4;
    const std::string path = save("alloc.bmp", makeBmp(spec));

    Image image;
    ASSERT_TRUE(image.allocate(2, 2, 8));
    const std::uint8_t* pixels = image.pixels;
    // The staging buffer fails: the previous picture stays.
    allocation_probe::nothrowAllowance = 0;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    allocation_probe::reset();
    EXPECT_EQ(image.pixels, pixels);
    // The picture's own buffer fails: the image was released for it and stays empty.
    allocation_probe::nothrowAllowance = 1;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    allocation_probe::reset();
    expectEmpty(image);
    EXPECT_TRUE(readBmp(path.c_str(), &image));
    expectPixelsFromFile(image, true);
}

}  // namespace
