#include "app/web/sample_target.h"

#include <GLES3/gl3.h>
#include <emscripten/html5.h>

int SampleTarget::offered() {
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_get_current_context();
    EmscriptenWebGLContextAttributes attributes;
    if (context <= 0 ||
        emscripten_webgl_get_context_attributes(context, &attributes) !=
            EMSCRIPTEN_RESULT_SUCCESS ||
        attributes.majorVersion < 2) {
        return 1;
    }
    GLint most = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    return most > 1 ? most : 1;
}

bool SampleTarget::choose(int count) {
    destroy(true);
    samples = 1;
    if (count <= 1) {
        return true;
    }
    if (count > offered()) {
        return false;
    }
    samples = count;
    return true;
}

void SampleTarget::begin(int frameWidth, int frameHeight) {
    if (samples <= 1 || frameWidth <= 0 || frameHeight <= 0) {
        return;
    }
    if (framebuffer == 0) {
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &color);
        width = height = 0;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    if (frameWidth != width || frameHeight != height) {
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGB8, frameWidth,
                                         frameHeight);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        width = frameWidth;
        height = frameHeight;
    }
}

void SampleTarget::resolve() const {
    if (samples <= 1 || framebuffer == 0 || width == 0) {
        return;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void SampleTarget::destroy(bool live) {
    if (live && framebuffer != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &color);
    }
    framebuffer = 0;
    color = 0;
    width = height = 0;
}
