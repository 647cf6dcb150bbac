#include "tools/headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstring>

namespace {

std::string eglFailure(const char* what) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", what,
                  static_cast<unsigned>(eglGetError()));
    return text;
}

bool sizeIsUsable(int width, int height) {
    return width > 0 && height > 0;
}

// Mesa's surfaceless display, initialised; EGL_NO_DISPLAY with error saying
// why when there is none.
EGLDisplay openDisplay(std::string& error) {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        error = "eglGetPlatformDisplayEXT is not available (is Mesa's EGL installed?)";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay dpy =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY) {
        error = eglFailure("eglGetPlatformDisplayEXT(surfaceless)");
        return EGL_NO_DISPLAY;
    }
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(dpy, &major, &minor)) {
        error = eglFailure("eglInitialize");
        return EGL_NO_DISPLAY;
    }
    return dpy;
}

// An RGB8 OpenGL config with pbuffers; null with error saying why when there is none.
EGLConfig chooseConfig(EGLDisplay dpy, std::string& error) {
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_NONE};
    EGLConfig chosen = nullptr;
    EGLint found = 0;
    if (!eglChooseConfig(dpy, configAttributes, &chosen, 1, &found) || found < 1) {
        error = eglFailure("eglChooseConfig(pbuffer, OpenGL, RGB8)");
        return nullptr;
    }
    return chosen;
}

}  // namespace

bool HeadlessGl::create(int w, int h) {
    destroy();
    if (!sizeIsUsable(w, h)) {
        error = "frame size must be positive";
        return false;
    }
    EGLDisplay dpy = openDisplay(error);
    if (dpy == EGL_NO_DISPLAY) {
        return false;
    }
    display = dpy;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = eglFailure("eglBindAPI(OpenGL)");
        destroy();
        return false;
    }
    EGLConfig chosen = chooseConfig(dpy, error);
    if (!chosen) {
        destroy();
        return false;
    }
    config = chosen;
    const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, chosen, EGL_NO_CONTEXT, contextAttributes);
    if (ctx == EGL_NO_CONTEXT) {
        error = eglFailure("eglCreateContext(compatibility profile)");
        destroy();
        return false;
    }
    context = ctx;
    if (!resize(w, h)) {
        const std::string reason = error;
        destroy();
        error = reason;
        return false;
    }
    return true;
}

bool HeadlessGl::resize(int w, int h) {
    if (!display || !context) {
        error = "no context";
        return false;
    }
    if (!sizeIsUsable(w, h)) {
        error = "frame size must be positive";
        return false;
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, w, EGL_HEIGHT, h, EGL_NONE};
    EGLSurface next = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (next == EGL_NO_SURFACE) {
        error = eglFailure("eglCreatePbufferSurface");
        return false;
    }
    if (!eglMakeCurrent(display, next, next, context)) {
        error = eglFailure("eglMakeCurrent");
        eglDestroySurface(display, next);
        return false;
    }
    if (surface)
        eglDestroySurface(display, surface);
    surface = next;
    width = w;
    height = h;
    // Rows of an odd width are not 4-byte aligned in RGB.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return true;
}

void HeadlessGl::destroy() {
    if (display) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface)
            eglDestroySurface(display, surface);
        if (context)
            eglDestroyContext(display, context);
        // The display itself stays initialised: it is one per process, a
        // later create() reuses it, and terminating it unloads the driver
        // with some of its allocations still held (a leak report under ASan).
    }
    display = nullptr;
    config = nullptr;
    context = nullptr;
    surface = nullptr;
    width = 0;
    height = 0;
}

bool HeadlessGl::readPixels(std::vector<std::uint8_t>& rgb) const {
    if (!surface)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    rgb.resize(rowBytes * static_cast<std::size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    if (glGetError() != GL_NO_ERROR)
        return false;
    // GL's first row is the bottom one; swap rows in place.
    std::vector<std::uint8_t> row(rowBytes);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* a = rgb.data() + rowBytes * static_cast<std::size_t>(top);
        std::uint8_t* b = rgb.data() + rowBytes * static_cast<std::size_t>(bottom);
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
    return true;
}

bool HeadlessGl::readBgrxBottomUp(std::uint8_t* bgrx) const {
    if (!surface)
        return false;
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, bgrx);
    return glGetError() == GL_NO_ERROR;
}
