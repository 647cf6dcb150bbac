// The browser backend builds its mipmap chain on the CPU; every level must
// equal what the desktop's upload (GLU on the headless context) makes of the
// same picture, so both show the same texels at every distance.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/backends/gl.h"
#include "render/backends/webgl_mipmaps.h"
#include "tools/headless_gl.h"

namespace {

TEST(WebGlMipmapsTest, EveryLevelEqualsTheDesktopUpload) {
    HeadlessGl gl;
    ASSERT_TRUE(gl.create(4, 4)) << gl.error;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    // Power-of-two sides (halving only), sides rounded down and up to a
    // power of two, shrinking and growing, single columns, every format.
    // A single row of another width is left out: the desktop's scaling
    // turns it black, the browser keeps the picture.
    const std::uint32_t cases[][3] = {{256, 256, 3}, {8, 2, 4},  {5, 3, 3},  {6, 10, 4},
                                      {13, 7, 3},    {3, 3, 1},  {1, 12, 3}, {17, 31, 1},
                                      {100, 60, 4},  {40, 24, 3}};
    std::uint32_t seed = 12345;
    for (const auto& [columns, rows, components] : cases) {
        SCOPED_TRACE(testing::Message() << columns << "x" << rows << "x" << components);
        std::vector<std::uint8_t> pixels(columns * rows * components);
        for (std::uint8_t& value : pixels) {
            seed = seed * 1103515245u + 12345u;
            value = static_cast<std::uint8_t>(seed >> 16);
        }
        const GLenum format = components == 1 ? GL_LUMINANCE : components == 3 ? GL_RGB : GL_RGBA;
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        gluBuild2DMipmaps(GL_TEXTURE_2D, static_cast<GLint>(components),
                          static_cast<GLint>(columns), static_cast<GLint>(rows), format,
                          GL_UNSIGNED_BYTE, pixels.data());

        std::vector<MipmapLevel> levels;
        ASSERT_TRUE(buildMipmaps(pixels.data(), columns, rows, components,
                                 static_cast<std::uint32_t>(maxSide), levels));
        for (std::size_t level = 0; level <= levels.size(); ++level) {
            GLint width = 0;
            GLint height = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(level), GL_TEXTURE_WIDTH,
                                     &width);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(level), GL_TEXTURE_HEIGHT,
                                     &height);
            if (level == levels.size()) {
                EXPECT_EQ(width, 0) << "the desktop made more levels";
                break;
            }
            ASSERT_EQ(width, static_cast<GLint>(levels[level].width)) << "level " << level;
            ASSERT_EQ(height, static_cast<GLint>(levels[level].height)) << "level " << level;
            std::vector<std::uint8_t> desktop(levels[level].pixels.size());
            glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(level), format, GL_UNSIGNED_BYTE,
                          desktop.data());
            EXPECT_EQ(desktop, levels[level].pixels) << "level " << level;
        }
        glDeleteTextures(1, &texture);
    }
    std::vector<MipmapLevel> levels;
    EXPECT_FALSE(buildMipmaps(nullptr, 4, 4, 3, 64, levels));
    gl.destroy();
}

}  // namespace
