#pragma once

// The environment texture's settings, the same on desktop GL and WebGL 1:
// include this after the build's own GL header.

#include <cstdint>

// Bound texture: the picture repeats both ways, linear up close, the nearest
// mipmap level further off.
inline void setEnvironmentTextureParameters() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
}

// A texture without an image is incomplete, and GL draws with an incomplete
// texture as if texturing were off: the environment pass would paint its
// colour, nearly white, over every window. One black texel in the bound
// texture makes a missing picture add nothing instead.
inline void uploadBlackTexel() {
    const std::uint8_t black[3] = {0, 0, 0};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, black);
}
