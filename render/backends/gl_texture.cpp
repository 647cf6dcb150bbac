#include "render/backends/gl_texture.h"

#include "render/backends/gl.h"

#include "render/backends/environment_texture.h"

namespace {

// Image rows are packed without padding, so GL must not expect 4-byte rows.
void uploadMipmaps(GLint components, const Image& image, GLenum format, const void* pixels) {
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, components, static_cast<GLint>(image.width),
                      static_cast<GLint>(image.height), format, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

bool sameSize(const Image& a, const Image& b) {
    return a.width == b.width && a.height == b.height;
}

// An 8- or 24-bit image with an 8-bit alpha picture of its size, uploaded as
// grey + alpha or RGBA; false when they do not match or staging memory is missing.
bool uploadWithAlpha(const Image& image, const Image& alpha) {
    if (alpha.bitsPerPixel != 8 || !sameSize(image, alpha) || !image.pixels || !alpha.pixels) {
        return false;
    }
    const bool grey = image.bitsPerPixel == 8;
    const std::uint32_t colorBytes = grey ? 1 : 3;
    Image staging;
    if (!staging.allocate(image.width, image.height, grey ? 16 : 32)) {
        return false;
    }
    const std::uint32_t pixelCount = image.width * image.height;
    const std::uint8_t* from = image.pixels;
    std::uint8_t* to = staging.pixels;
    for (std::uint32_t i = 0; i < pixelCount; ++i) {
        for (std::uint32_t k = 0; k < colorBytes; ++k) {
            *to++ = *from++;
        }
        *to++ = alpha.pixels[i];
    }
    uploadMipmaps(grey ? 2 : 4, staging, grey ? GL_LUMINANCE_ALPHA : GL_RGBA, staging.pixels);
    staging.release();
    return true;
}

// False when the image has no pixels or a depth GL is not given.
bool uploadImage(const Image& image) {
    if (!image.pixels || image.width == 0 || image.height == 0) {
        return false;
    }
    switch (image.bitsPerPixel) {
        case 8:
            uploadMipmaps(1, image, GL_LUMINANCE, image.pixels);
            return true;
        case 24:
            uploadMipmaps(3, image, GL_RGB, image.pixels);
            return true;
        case 32:
            uploadMipmaps(4, image, GL_RGBA, image.pixels);
            return true;
        default:
            return false;
    }
}

}  // namespace

bool Texture::create(const Image& image, const Image* alpha) {
    destroy();
    GLuint name = 0;
    glGenTextures(1, &name);
    handle = name + 1;
    glBindTexture(GL_TEXTURE_2D, name);
    setEnvironmentTextureParameters();
    if (alpha && (image.bitsPerPixel == 8 || image.bitsPerPixel == 24)) {
        if (!uploadWithAlpha(image, *alpha)) {
            destroy();
            return false;
        }
    } else if (!uploadImage(image)) {
        uploadBlackTexel();
    }
    return true;
}

void Texture::destroy() {
    if (handle != 0) {
        const GLuint name = handle - 1;
        glDeleteTextures(1, &name);
        handle = 0;
    }
}

void Texture::bind() const {
    glBindTexture(GL_TEXTURE_2D, handle != 0 ? handle - 1 : 0);
}
