#include "app/frame_readback.h"

#define GL_GLEXT_PROTOTYPES 1  // framebuffer objects, core since OpenGL 3.0
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Framebuffer objects and their blit: OpenGL 3.0, or the extension before it.
bool hasFramebufferBlit() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0;
    if (version && std::sscanf(version, "%d", &major) == 1 && major >= 3) {
        return true;
    }
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions && std::strstr(extensions, "GL_ARB_framebuffer_object") != nullptr;
}

// Textures of any size came with OpenGL 2.0; the copy takes one of whole
// powers of two everywhere.
int powerOfTwoAtLeast(int size) {
    int power = 1;
    while (power < size) {
        power *= 2;
    }
    return power;
}

}  // namespace

// Without framebuffer objects the window is copied into a texture, which
// resolves its samples as the window shows them; reading the window itself
// gives one sample of each pixel on some drivers (Mesa's among them). False
// when the driver takes no texture that large.
bool FrameReadback::makeCopyTexture(int width, int height) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (width > largest || height > largest) {
        return false;
    }
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    textureWidth_ = width;
    return true;
}

// The texture's rows are textureWidth_ wide: each moves down to its place.
void FrameReadback::readThroughTexture() {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width_, height_);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rows_.data());
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    const std::size_t row = static_cast<std::size_t>(width_) * 3;
    for (std::size_t y = 1; y < static_cast<std::size_t>(height_); ++y) {
        std::memmove(&rows_[y * row], &rows_[y * static_cast<std::size_t>(textureWidth_) * 3], row);
    }
}

bool FrameReadback::fit(int width, int height) {
    if (fits(width, height)) {
        return true;
    }
    release();
    if (width <= 0 || height <= 0) {
        return false;
    }
    const bool blit = hasFramebufferBlit();
    const int copyWidth = blit ? width : powerOfTwoAtLeast(width);
    const int copyHeight = blit ? height : powerOfTwoAtLeast(height);
    try {
        rows_.assign(static_cast<std::size_t>(copyWidth) * static_cast<std::size_t>(copyHeight) * 3,
                     0);
    } catch (const std::bad_alloc&) {
        std::vector<unsigned char>().swap(rows_);
        return false;
    }
    if (!blit) {
        if (!makeCopyTexture(copyWidth, copyHeight)) {
            release();
            return false;
        }
    } else {
        GLint bound = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        glGenFramebuffers(1, &framebuffer_);
        glGenRenderbuffers(1, &color_);
        glBindRenderbuffer(GL_RENDERBUFFER, color_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_);
        const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(bound));
        if (!complete) {
            release();
            return false;
        }
    }
    width_ = width;
    height_ = height;
    return true;
}

bool FrameReadback::read(unsigned source) {
    if (width_ <= 0 || height_ <= 0) {
        return false;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (framebuffer_ == 0) {  // no framebuffer objects: only the window
        readThroughTexture();
        return true;
    }
    GLint drawn = 0;
    GLint read = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawn);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer_);
    glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, rows_.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawn));
    return true;
}

void FrameReadback::release() {
    if (framebuffer_ != 0) {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &color_);
    }
    if (texture_ != 0) {
        glDeleteTextures(1, &texture_);
    }
    framebuffer_ = 0;
    color_ = 0;
    texture_ = 0;
    std::vector<unsigned char>().swap(rows_);
    width_ = 0;
    height_ = 0;
}
