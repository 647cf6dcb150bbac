#include "tools/headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1  // framebuffer objects, core since OpenGL 3.0
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::string eglFailure(const char* what) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", what,
                  static_cast<unsigned>(eglGetError()));
    return text;
}

// How long one wait for a read to land may take before it is asked again.
constexpr GLuint64 kReadWaitNs = 1000000000;

// Whether buffers can stay mapped while GL writes into them: OpenGL 4.4, or
// ARB_buffer_storage before it.
bool keepsBuffersMapped() {
    int major = 0;
    int minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major > 4 || (major == 4 && minor >= 4))
        return true;
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, i));
        if (name && std::strcmp(name, "GL_ARB_buffer_storage") == 0)
            return true;
    }
    while (glGetError() != GL_NO_ERROR) {
    }  // the queries a context before OpenGL 3.0 does not know
    return false;
}

// The pixel buffers, their mappings and any read still on its way.
void releaseReadBuffers(HeadlessGl& gl) {
    for (std::size_t i = 0; i < gl.readBuffers.size(); ++i) {
        if (gl.readFences[i])
            glDeleteSync(static_cast<GLsync>(gl.readFences[i]));
        if (gl.readMappings[i]) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, gl.readBuffers[i]);
            glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        }
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!gl.readBuffers.empty())
        glDeleteBuffers(static_cast<GLsizei>(gl.readBuffers.size()), gl.readBuffers.data());
    gl.readBuffers.clear();
    gl.readMappings.clear();
    gl.readFences.clear();
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

// An RGB8 OpenGL config with pbuffers; null with error saying why when there
// is none. Eight bits a channel exactly, as a window has them: EGL lists
// deeper configs first, and a frame blended in ten bits rounds otherwise
// (up to two levels off what a window shows) and costs the driver a
// conversion on every read.
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
    EGLConfig configs[64];
    EGLint found = 0;
    if (!eglChooseConfig(dpy, configAttributes, configs, 64, &found) || found < 1) {
        error = eglFailure("eglChooseConfig(pbuffer, OpenGL, RGB8)");
        return nullptr;
    }
    for (EGLint i = 0; i < found; ++i) {
        EGLint red = 0;
        if (eglGetConfigAttrib(dpy, configs[i], EGL_RED_SIZE, &red) && red == 8)
            return configs[i];
    }
    return configs[0];
}

// A framebuffer with one RGBA8 colour renderbuffer of `samples` samples per
// pixel (0: a plain one), left bound; false unless complete.
bool makeFramebuffer(int width, int height, int samples, unsigned& framebuffer, unsigned& color) {
    glGenRenderbuffers(1, &color);
    glBindRenderbuffer(GL_RENDERBUFFER, color);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
    GLint given = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &given);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE &&
           given == samples && glGetError() == GL_NO_ERROR;
}

void deleteFramebuffer(unsigned& framebuffer, unsigned& color) {
    if (framebuffer)
        glDeleteFramebuffers(1, &framebuffer);
    if (color)
        glDeleteRenderbuffers(1, &color);
    framebuffer = 0;
    color = 0;
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
    releaseReadBuffers(*this);  // their size was the old frame's
    // Rows of an odd width are not 4-byte aligned in RGB.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const int count = samples;
    samples = 1;
    return setSamples(count);
}

int HeadlessGl::maxSamples() const {
    const std::vector<int> counts = offeredSamples();
    return counts.back();
}

std::vector<int> HeadlessGl::offeredSamples() const {
    std::vector<int> counts = {1};
    if (!context)
        return counts;
    GLint most = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    GLint listed = 0;
    glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_NUM_SAMPLE_COUNTS, 1, &listed);
    std::vector<GLint> found(static_cast<std::size_t>(listed > 0 ? listed : 0));
    if (listed > 0)
        glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_SAMPLES, listed, found.data());
    // Before OpenGL 4.2 the counts cannot be listed: every power of two up
    // to the most is taken as offered, and refused later if it is not.
    if (glGetError() != GL_NO_ERROR || listed <= 0) {
        found.clear();
        for (GLint count = 2; count <= most; count *= 2)
            found.push_back(count);
    }
    for (auto count = found.rbegin(); count != found.rend(); ++count) {
        if (*count > 1)
            counts.push_back(*count);  // GL lists them largest first
    }
    return counts;
}

bool HeadlessGl::setSamples(int count) {
    if (!surface) {
        error = "no context";
        return false;
    }
    const std::vector<int> offered = offeredSamples();
    if (std::find(offered.begin(), offered.end(), count) == offered.end()) {
        error = "this OpenGL context offers ";
        for (std::size_t i = 0; i < offered.size(); ++i) {
            error += (i == 0                   ? ""
                      : i + 1 < offered.size() ? ", "
                                               : " or ") +
                     std::to_string(offered[i]);
        }
        error += " samples per pixel, not " + std::to_string(count);
        return false;
    }
    deleteFramebuffer(multisampledFramebuffer, multisampledColor);
    deleteFramebuffer(resolvedFramebuffer, resolvedColor);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    samples = 1;
    if (count == 1)
        return true;
    if (!makeFramebuffer(width, height, 0, resolvedFramebuffer, resolvedColor) ||
        !makeFramebuffer(width, height, count, multisampledFramebuffer, multisampledColor)) {
        error = "a framebuffer of " + std::to_string(count) + " samples per pixel at " +
                std::to_string(width) + "x" + std::to_string(height) + " is not complete";
        deleteFramebuffer(multisampledFramebuffer, multisampledColor);
        deleteFramebuffer(resolvedFramebuffer, resolvedColor);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return false;
    }
    samples = count;
    return true;
}

void HeadlessGl::resolve() const {
    if (!multisampledFramebuffer)
        return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, multisampledFramebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolvedFramebuffer);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, multisampledFramebuffer);
}

void HeadlessGl::bindForReading() const {
    if (!multisampledFramebuffer)
        return;
    resolve();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, resolvedFramebuffer);
}

void HeadlessGl::bindForDrawing() const {
    if (multisampledFramebuffer)
        glBindFramebuffer(GL_FRAMEBUFFER, multisampledFramebuffer);
}

void HeadlessGl::destroy() {
    if (display && context && surface) {
        releaseReadBuffers(*this);
        deleteFramebuffer(multisampledFramebuffer, multisampledColor);
        deleteFramebuffer(resolvedFramebuffer, resolvedColor);
    }
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
    samples = 1;
    multisampledFramebuffer = multisampledColor = resolvedFramebuffer = resolvedColor = 0;
    readBuffers.clear();
    readMappings.clear();
    readFences.clear();
}

bool HeadlessGl::readPixels(std::vector<std::uint8_t>& rgb) const {
    if (!surface)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    rgb.resize(rowBytes * static_cast<std::size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    bindForReading();
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    bindForDrawing();
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
    bindForReading();
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, bgrx);
    bindForDrawing();
    return glGetError() == GL_NO_ERROR;
}

bool HeadlessGl::mapReadBuffers(int count) {
    releaseReadBuffers(*this);
    if (!surface || count <= 0 || !keepsBuffersMapped()) {
        error =
            "this OpenGL context cannot keep pixel buffers mapped (it needs OpenGL 4.4 or "
            "ARB_buffer_storage)";
        return false;
    }
    const GLsizeiptr bytes = static_cast<GLsizeiptr>(width) * height * 4;
    const GLbitfield flags = GL_MAP_READ_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    readBuffers.assign(static_cast<std::size_t>(count), 0u);
    readMappings.assign(readBuffers.size(), nullptr);
    readFences.assign(readBuffers.size(), nullptr);
    glGenBuffers(count, readBuffers.data());
    bool mapped = true;
    for (std::size_t i = 0; i < readBuffers.size() && mapped; ++i) {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, readBuffers[i]);
        glBufferStorage(GL_PIXEL_PACK_BUFFER, bytes, nullptr, flags | GL_CLIENT_STORAGE_BIT);
        readMappings[i] =
            static_cast<std::uint8_t*>(glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, bytes, flags));
        mapped = readMappings[i] != nullptr;
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!mapped || glGetError() != GL_NO_ERROR) {
        releaseReadBuffers(*this);
        error = "no memory for the frame buffers of " + std::to_string(width) + "x" +
                std::to_string(height) + " frames";
        return false;
    }
    return true;
}

std::uint8_t* HeadlessGl::readBuffer(int slot) const {
    return slot >= 0 && static_cast<std::size_t>(slot) < readMappings.size() ? readMappings[slot]
                                                                             : nullptr;
}

bool HeadlessGl::startRead(int slot) {
    if (!surface || !readBuffer(slot) || readFences[slot])
        return false;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readBuffers[slot]);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    bindForReading();  // the resolved picture, not the samples
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    bindForDrawing();
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    readFences[slot] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    return readFences[slot] && glGetError() == GL_NO_ERROR;
}

bool HeadlessGl::finishRead(int slot) {
    if (!readBuffer(slot) || !readFences[slot])
        return false;
    const GLsync fence = static_cast<GLsync>(readFences[slot]);
    readFences[slot] = nullptr;
    GLenum waited = GL_TIMEOUT_EXPIRED;
    while (waited == GL_TIMEOUT_EXPIRED)
        waited = glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, kReadWaitNs);
    glDeleteSync(fence);
    return waited == GL_ALREADY_SIGNALED || waited == GL_CONDITION_SATISFIED;
}
