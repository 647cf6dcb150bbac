// The offscreen context and the PNG files the tool and the GL tests rely on:
// pictures come back top row first at any size, and survive a PNG round trip.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/backends/gl.h"
#include "tests/support.h"
#include "tools/headless_gl.h"
#include "tools/png_writer.h"

namespace {

using testing_support::scratchPath;

// Red over the upper half of the framebuffer (GL's y grows upwards).
void drawUpperHalfRed(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1.0f, 0.0f, 0.0f);
    glRectf(-1.0f, 0.0f, 1.0f, 1.0f);
}

TEST(HeadlessGlTest, ReadsPixelsTopRowFirstAtEveryFrameSize) {
    HeadlessGl gl;
    EXPECT_FALSE(gl.create(0, 10));
    EXPECT_FALSE(gl.error.empty());
    ASSERT_TRUE(gl.create(64, 48)) << gl.error;
    EXPECT_FALSE(gl.resize(0, 8));
    EXPECT_EQ(gl.width, 64);  // the old surface stays
    // Odd widths give rows that are not 4-byte aligned in RGB.
    const int sizes[3][2] = {{101, 37}, {1, 1}, {3, 5}};
    for (const auto& size : sizes) {
        const int width = size[0];
        const int height = size[1];
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        ASSERT_TRUE(gl.resize(width, height)) << gl.error;
        drawUpperHalfRed(width, height);
        std::vector<std::uint8_t> rgb;
        ASSERT_TRUE(gl.readPixels(rgb));
        ASSERT_EQ(rgb.size(), std::size_t(width * height * 3));
        // First row red to its last pixel (no row padding), last row black.
        EXPECT_EQ(rgb[0], 255);
        EXPECT_EQ(rgb[1], 0);
        EXPECT_EQ(rgb[std::size_t(width - 1) * 3], 255);
        if (height > 1) {
            EXPECT_EQ(rgb[rgb.size() - 3], 0);
        }
    }
    gl.destroy();
    std::vector<std::uint8_t> rgb;
    EXPECT_FALSE(gl.readPixels(rgb));
    ASSERT_TRUE(gl.create(16, 4)) << gl.error;  // and again after destroy
    gl.destroy();
}

TEST(PngTest, RoundTripKeepsEveryPixelAndFailuresNameTheFile) {
    std::vector<std::uint8_t> rgb(7 * 3 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = std::uint8_t(i * 37 + 11);
    }
    const std::string path = scratchPath("round_trip.png");
    std::string error;
    ASSERT_TRUE(writePngRgb(path, 7, 3, rgb, error)) << error;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(readPngRgb(path, width, height, back, error)) << error;
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 3);
    EXPECT_EQ(back, rgb);

    // A buffer that does not match the size is refused before any file is made.
    const std::string mismatched = scratchPath("mismatched.png");
    EXPECT_FALSE(writePngRgb(mismatched, 3, 2, rgb, error));
    EXPECT_FALSE(readPngRgb(mismatched, width, height, back, error));
    EXPECT_NE(error.find(mismatched), std::string::npos) << error;
}

}  // namespace
