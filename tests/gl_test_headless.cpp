// The offscreen context and the PNG files the tool and the GL tests rely on:
// pictures come back top row first at any size, and survive a PNG round trip.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "render/backends/gl.h"
#include "tests/support.h"
#include "tools/headless_gl.h"
#include "tools/png_writer.h"

namespace {

TEST(HeadlessGlTest, ReadsPixelsTopRowFirstAtEveryFrameSize) {
    HeadlessGl gl;
    EXPECT_FALSE(gl.create(0, 10));
    ASSERT_TRUE(gl.create(64, 48)) << gl.error;
    EXPECT_FALSE(gl.resize(0, 8));
    // Odd widths give rows that are not 4-byte aligned in RGB.
    for (const auto& [width, height] : {std::pair{101, 37}, {1, 1}, {3, 5}}) {
        ASSERT_TRUE(gl.resize(width, height)) << gl.error;
        // Red over the upper half (GL's y grows upwards).
        glViewport(0, 0, width, height);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1.0f, 0.0f, 0.0f);
        glRectf(-1.0f, 0.0f, 1.0f, 1.0f);
        std::vector<std::uint8_t> rgb;
        ASSERT_TRUE(gl.readPixels(rgb));
        ASSERT_EQ(rgb.size(), std::size_t(width * height * 3));
        // First row red to its last pixel (no row padding), last row black.
        EXPECT_EQ(rgb[std::size_t(width - 1) * 3], 255) << width << "x" << height;
        EXPECT_EQ(rgb[rgb.size() - 3], height > 1 ? 0 : 255) << width << "x" << height;
    }
    gl.destroy();
    ASSERT_TRUE(gl.create(16, 4)) << gl.error;  // and again after destroy
}

TEST(PngTest, RoundTripKeepsEveryPixelAndFailuresNameTheFile) {
    std::vector<std::uint8_t> rgb(7 * 3 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = std::uint8_t(i * 37 + 11);
    }
    const std::string path = testing_support::scratchPath("round_trip.png");
    std::string error;
    ASSERT_TRUE(writePngRgb(path, 7, 3, rgb, error)) << error;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(readPngRgb(path, width, height, back, error)) << error;
    EXPECT_EQ(std::make_tuple(width, height, back), std::make_tuple(7, 3, rgb));
    // A buffer that does not match the size is refused before any file is made.
    const std::string mismatched = testing_support::scratchPath("mismatched.png");
    EXPECT_FALSE(writePngRgb(mismatched, 3, 2, rgb, error));
    EXPECT_FALSE(readPngRgb(mismatched, width, height, back, error));
    EXPECT_NE(error.find(mismatched), std::string::npos) << error;
}

}  // namespace
