#pragma once

#include <cstdint>

#include "assets/image.h"

// One GL texture object with a full mipmap chain. handle is the GL name plus
// one, so 0 means the holder has no texture.
struct Texture {
    std::uint32_t handle = 0;

    Texture() = default;
    ~Texture() { destroy(); }
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Builds the texture from image, merging an 8-bit alpha picture into an
    // 8- or 24-bit image when one is given. False (and no texture) when the
    // alpha picture does not match or the staging memory is missing. An image
    // without pixels still yields a texture, holding one black texel.
    bool create(const Image& image, const Image* alpha);
    // Without a current context the deletion has no effect; the name is
    // forgotten either way.
    void destroy();
    // An empty holder binds no texture (name 0).
    void bind() const;
};
