#include "render/backends/gl_texture.h"

#include "render/backends/gl.h"

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

}  // namespace

bool Texture::create(const Image& image, const Image* alpha) {
    destroy();
    GLuint name = 0;
    glGenTextures(1, &name);
    handle = name + 1;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    static_cast<GLfloat>(GL_LINEAR_MIPMAP_NEAREST));

    const bool mergeAlpha = alpha && (image.bitsPerPixel == 8 || image.bitsPerPixel == 24);
    if (mergeAlpha) {
        if (alpha->bitsPerPixel != 8 || !sameSize(image, *alpha) || !image.pixels ||
            !alpha->pixels) {
            destroy();
            return false;
        }
        const bool grey = image.bitsPerPixel == 8;
        Image staging;
        if (!staging.allocate(image.width, image.height, grey ? 16 : 32)) {
            destroy();
            return false;
        }
        const std::uint32_t pixelCount = image.width * image.height;
        const std::uint8_t* from = image.pixels;
        std::uint8_t* to = staging.pixels;
        for (std::uint32_t i = 0; i < pixelCount; ++i) {
            if (grey) {
                *to++ = *from++;
            } else {
                *to++ = *from++;
                *to++ = *from++;
                *to++ = *from++;
            }
            *to++ = alpha->pixels[i];
        }
        if (grey) {
            uploadMipmaps(2, staging, GL_LUMINANCE_ALPHA, staging.pixels);
        } else {
            uploadMipmaps(4, staging, GL_RGBA, staging.pixels);
        }
        staging.release();
        return true;
    }

    bool uploaded = false;
    if (image.pixels && image.width > 0 && image.height > 0) {
        switch (image.bitsPerPixel) {
            case 8:
                uploadMipmaps(1, image, GL_LUMINANCE, image.pixels);
                uploaded = true;
                break;
            case 24:
                uploadMipmaps(3, image, GL_RGB, image.pixels);
                uploaded = true;
                break;
            case 32:
                uploadMipmaps(4, image, GL_RGBA, image.pixels);
                uploaded = true;
                break;
            default:
                break;
        }
    }
    if (!uploaded) {
        // A texture without an image is incomplete, and GL draws with an
        // incomplete texture as if texturing were off: the environment pass
        // would paint its colour, nearly white, over every window. One black
        // texel makes a missing picture add nothing instead.
        const std::uint8_t black[3] = {0, 0, 0};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, black);
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
