#include "assets/image.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/allocation_probe.h"
#include "tests/support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void putU32(Bytes& out, std::uint32_t value) {  // little-endian
    out.insert(out.end(), {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                           std::uint8_t(value >> 24)});
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
    std::uint32_t paletteEntries = 0;
    std::uint32_t infoSize = 40;
    std::uint32_t dataOffset = 0;  // 0: right after the palette
    const char* signature = "BM";
};

// A BMP whose pixel bytes come from sample(), rows padded with 0xEE. Pictures of
// 1 MB or more get their headers only.
Bytes makeBmp(const BmpSpec& spec) {
    const std::uint32_t rows =
        std::uint32_t(spec.height < 0 ? -std::int64_t(spec.height) : spec.height);
    const std::uint32_t pixelBytes = spec.bitsPerPixel / 8u;
    const std::uint32_t rowBytes = (std::uint32_t(spec.width) * pixelBytes + 3u) & ~3u;
    const std::uint32_t offset =
        spec.dataOffset ? spec.dataOffset : 14 + spec.infoSize + 4 * spec.paletteEntries;
    const std::uint64_t pictureBytes = std::uint64_t(std::uint32_t(spec.width)) * pixelBytes * rows;
    Bytes out(spec.signature, spec.signature + 2);
    // Planes (1) and depth share one little-endian word.
    for (std::uint32_t v :
         {offset + rowBytes * rows, 0u, offset, spec.infoSize, std::uint32_t(spec.width),
          std::uint32_t(spec.height), 1u | std::uint32_t(spec.bitsPerPixel) << 16, spec.compression,
          rowBytes * rows, 2835u, 2835u, spec.paletteEntries, 0u}) {
        putU32(out, v);
    }
    out.resize(14 + spec.infoSize, 0xAB);                    // a larger header's extra fields
    out.resize(out.size() + 4 * spec.paletteEntries, 0x80);  // the palette goes unread
    for (std::uint32_t r = 0; pictureBytes < (1u << 20) && r < rows; ++r) {
        for (std::uint32_t i = 0; i < std::uint32_t(spec.width) * pixelBytes; ++i) {
            out.push_back(sample(i / pixelBytes, r, i % pixelBytes));
        }
        out.resize(out.size() + rowBytes - std::uint32_t(spec.width) * pixelBytes, 0xEE);
    }
    return out;
}

std::string save(const std::string& name, const Bytes& bytes) {
    const std::string path = testing_support::scratchPath(name);
    EXPECT_TRUE(testing_support::writeFile(path, bytes));
    return path;
}

bool load(Image& image, const Bytes& bytes, const std::string& name = "image.bmp") {
    return readBmp(save(name, bytes).c_str(), &image);
}

void expectEmpty(const Image& image) {
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width | image.height | image.bitsPerPixel | image.rowBytes | image.byteSize,
              0u);
}

// Every image pixel equals the file pixel it came from, rows turned top first
// and channels turned to red, green, blue(, alpha).
void expectPixelsFromFile(const Image& image, bool bottomUp) {
    const std::uint32_t channels = image.bitsPerPixel / 8;
    const std::uint32_t order[4] = {channels == 1 ? 0u : 2u, 1, 0, 3};
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint32_t fileRow = bottomUp ? image.height - 1 - y : y;
        for (std::uint32_t x = 0; x < image.width; ++x) {
            for (std::uint32_t c = 0; c < channels; ++c) {
                ASSERT_EQ(image.pixels[y * image.rowBytes + x * channels + c],
                          sample(x, fileRow, order[c]))
                    << x << "," << y << " channel " << c;
            }
        }
    }
}

TEST(Image, FailedAllocateLeavesItEmpty) {
    // Zero arguments, sizes beyond 32 bits (or wrapping 64), a failing allocation (8x8x24).
    const std::uint32_t wrap = 0x80000000u;  // wrap x wrap x 4 bytes is 2^64
    const std::uint32_t cases[][3] = {
        {0, 4, 8},      {4, 0, 8},        {4, 4, 0},  {0x40000000u, 1, 32}, {65536, 65536, 8},
        {~0u, ~0u, 32}, {wrap, wrap, 32}, {1, 1, 33}, {1, 1, ~0u},          {0x20000000u, 2, 32},
        {8, 8, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c[0]) + "x" + std::to_string(c[1]) + "x" +
                     std::to_string(c[2]));
        Image image;
        ASSERT_TRUE(image.allocate(2, 2, 32));
        allocation_probe::reset();
        allocation_probe::nothrowAllowance = c[0] == 8 ? 0 : -1;
        EXPECT_FALSE(image.allocate(c[0], c[1], c[2]));
        allocation_probe::nothrowAllowance = -1;
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        expectEmpty(image);
    }
    Image image;
    EXPECT_TRUE(image.allocate(0xFFFF, 1, 32));
}

TEST(ReadBmp, LoadsSupportedLayoutsTopRowFirstInRgbOrder) {
    // Padded rows, a palette to skip, top-down rows, alpha and a larger header to skip.
    const BmpSpec cases[] = {
        {256, 256, 24}, {5, 3, 24}, {6, 4, 8, 0, 256}, {3, -4, 24}, {3, 2, 32, 0, 0, 124}};
    for (const BmpSpec& spec : cases) {
        SCOPED_TRACE(spec.width);
        Image image;
        ASSERT_TRUE(load(image, makeBmp(spec)));
        const std::uint32_t height = std::uint32_t(spec.height < 0 ? -spec.height : spec.height);
        const std::uint32_t rowBytes =
            std::uint32_t(spec.width) * spec.bitsPerPixel / 8u;  // unpadded
        EXPECT_EQ(std::vector<std::uint32_t>({image.width, image.height, image.bitsPerPixel,
                                              image.rowBytes, image.byteSize}),
                  std::vector<std::uint32_t>({std::uint32_t(spec.width), height, spec.bitsPerPixel,
                                              rowBytes, rowBytes * height}));
        expectPixelsFromFile(image, spec.height > 0);
    }
}

TEST(ReadBmp, RefusesWhatItDoesNotReadBeforeAllocatingAndSaysWhy) {
    // Each with a piece of its reason.
    // clang-format off
    const std::pair<BmpSpec, const char*> cases[] = {
        {{2, 2, 1}, "with 1 bits"}, {{2, 2, 4}, "with 4 bits"}, {{2, 2, 16}, "with 16 bits"},    // depths
        {{2, 2, 0}, "with 0 bits"}, {{2, 2, 48}, "with 48 bits"},
        {{2, 2, 8, 1}, "compression 1 "}, {{2, 2, 24, 2}, "compression 2 "},                     // compressions
        {{2, 2, 32, 3}, "compression 3 "}, {{2, 2, 32, 4}, "compression 4 "},
        {{2, 0}, "size 2 x 0 "}, {{0, 2}, "size 0 x 2 "}, {{-2, 2}, "size -2 x 2 "},             // sizes
        {{1, INT32_MIN, 8}, "1 x 2147483648 is too large"}, {{1000, 1000, 24}, "rows run past"},
        {{0x40000000, 1, 32}, "too large"}, {{0x55555556, 1, 24}, "too large"},                  // overflows
        {{0x10000, 0x10000, 32}, "65536 x 65536 is too large"},
        {{1, 1, 8, 0, 0, 40, 0xFFFFFFF0u}, "data starts past"}, {{4, 4, 8, 0, 0, 40, 124}, "rows run past"},
        {{2, 2, 24, 0, 0, 40, 0, "BN"}, "not a BMP picture (the file does not start with BM)"}};
    // clang-format on
    for (const auto& [spec, reason] : cases) {
        SCOPED_TRACE(reason);
        Bytes file = makeBmp(spec);
        file.resize(file.size() + 64, 0x11);
        Image image;
        allocation_probe::reset();
        EXPECT_FALSE(load(image, file, "refused.bmp"));
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        EXPECT_NE(std::strstr(image.failure.text, reason), nullptr) << image.failure.text;
        expectEmpty(image);
    }
    EXPECT_FALSE(readBmp(save("null.bmp", makeBmp(BmpSpec())).c_str(), nullptr));
}

TEST(ReadBmp, EveryTruncationIsRefusedAndKeepsThePreviousPicture) {
    const Bytes full = makeBmp({3, 2, 8, 0, 4});
    Image image;
    ASSERT_TRUE(image.allocate(2, 2, 8));
    std::memset(image.pixels, 0x42, image.byteSize);
    const std::uint8_t* pixels = image.pixels;
    for (std::size_t length = 0; length < full.size(); ++length) {
        const Bytes prefix(full.begin(), full.begin() + std::ptrdiff_t(length));
        EXPECT_FALSE(load(image, prefix, "prefix.bmp")) << "length " << length;
        EXPECT_NE(image.failure.text[0], '\0');
        ASSERT_EQ(image.pixels, pixels);
        EXPECT_EQ(image.width, 2u);
        EXPECT_EQ(image.pixels[3], 0x42);
    }
    EXPECT_TRUE(load(image, full, "full.bmp"));
}

TEST(ReadBmp, AllocationFailureIsAFailedLoad) {
    const std::string path = save("alloc.bmp", makeBmp({4, 4}));
    Image image;
    ASSERT_TRUE(image.allocate(2, 2, 8));
    const std::uint8_t* pixels = image.pixels;
    // The staging buffer fails: the previous picture stays.
    allocation_probe::nothrowAllowance = 0;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    allocation_probe::reset();
    EXPECT_EQ(image.pixels, pixels);
    EXPECT_STREQ(image.failure.text, "no memory for 48 bytes of pixels");
    // The picture's own buffer fails: the image was released for it and stays empty.
    allocation_probe::nothrowAllowance = 1;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    allocation_probe::reset();
    expectEmpty(image);
    EXPECT_STREQ(image.failure.text, "no memory for a 4 x 4 picture");
    EXPECT_TRUE(readBmp(path.c_str(), &image));
    EXPECT_STREQ(image.failure.text, "");
    expectPixelsFromFile(image, true);
}

}  // namespace
