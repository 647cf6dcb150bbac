#include "tools/render_session.h"

#include <GL/gl.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/hooks.h"
#include "assets/image.h"
#include "assets/scene_object.h"
#include "render/backends/exact_backend.h"
#include "scene/scene.h"
#include "scene/scene_constants.h"

namespace {
ExactBackend exactBackend;
}  // namespace

bool parseCount(const char* text, std::uint64_t limit, std::uint64_t& value) {
    if (!text || *text < '0' || *text > '9')
        return false;
    std::uint64_t result = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(*c - '0');
        if (digit > limit || result > (limit - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

int usageError(const char* command, const char* usage, const char* problem, const char* argument) {
    if (argument) {
        std::fprintf(stderr, "glasswake-tool %s: %s: %s\n", command, problem, argument);
    } else {
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, problem);
    }
    std::fputs(usage, stderr);
    return 2;
}

bool parsePositive(const char* text, double limit, double& value) {
    if (!text || ((*text < '0' || *text > '9') && *text != '.'))
        return false;
    char* end = nullptr;
    errno = 0;
    const double result = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0')
        return false;
    if (!(result > 0.0) || !(result <= limit))
        return false;
    value = result;
    return true;
}

bool parseFrameSize(const char* text, int& width, int& height) {
    if (!text)
        return false;
    const char* cross = std::strchr(text, 'x');
    if (!cross)
        return false;
    const std::string widthText(text, static_cast<std::size_t>(cross - text));
    std::uint64_t w = 0;
    std::uint64_t h = 0;
    if (!parseCount(widthText.c_str(), maxFrameSide, w) ||
        !parseCount(cross + 1, maxFrameSide, h) || w == 0 || h == 0) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool enterDataRoot(const std::string& root, std::string& error) {
    if (chdir(root.c_str()) != 0) {
        error = root + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

namespace {

bool checkReadable(const char* path, std::string& error) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error = std::string(path) + ": " + std::strerror(errno);
        return false;
    }
    unsigned char byte = 0;
    const bool readOk = std::fread(&byte, 1, 1, file) == 1 || std::feof(file);
    const int readErrno = errno;
    std::fclose(file);
    if (!readOk) {
        error = std::string(path) + ": " + std::strerror(readErrno);
        return false;
    }
    return true;
}

}  // namespace

bool checkSceneFiles(std::string& error) {
    for (const char* path : kObjectFiles) {
        if (!checkReadable(path, error))
            return false;
        SceneObject object;
        if (!object.loadLwo(path)) {
            error = std::string(path) +
                    ": not a readable LightWave object (form LWOB with PNTS and POLS chunks)";
            return false;
        }
        if (!object.buildEdges()) {
            error = std::string(path) +
                    ": the mesh is not closed (every edge must join exactly two faces)";
            return false;
        }
    }
    const char* picture = kEnvironmentFile;
    if (!checkReadable(picture, error))
        return false;
    Image image;
    if (!image.load(picture, readBmp)) {
        error = std::string(picture) +
                ": not a readable BMP picture (uncompressed, 8, 24 or 32 bits per pixel)";
        return false;
    }
    return true;
}

bool RenderSession::start(int width, int height, std::string& error) {
#ifdef __GLIBC__
    // The software rasteriser allocates its per-frame command buffers anew
    // each frame; by default glibc hands that memory back to the kernel at
    // every frame's end and faults it in again on the next, which costs a
    // quarter of the frame. Keep it in the process instead.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
#endif
    if (!PreInit()) {
        error = "the scene could not be prepared (PreInit failed)";
        return false;
    }
    preInitDone = true;
    if (!gl.create(width, height)) {
        error = "no headless OpenGL context of " + std::to_string(width) + "x" +
                std::to_string(height) + ": " + gl.error;
        return false;
    }
    clientSize.width = width;
    clientSize.height = height;
    glViewport(0, 0, width, height);
    frameTimeMs = 0;
    sceneBackend = &exactBackend;
    if (!Init()) {
        error = "the scene could not be initialised (Init failed)";
        return false;
    }
    initDone = true;
    return true;
}

void RenderSession::renderFrame(std::uint32_t timeMs) {
    runFrame(timeMs);
    finishGl();
}

void RenderSession::runFrame(std::uint32_t timeMs) {
    frameTimeMs = timeMs;
    glViewport(0, 0, clientSize.width, clientSize.height > 0 ? clientSize.height : 1);
    Frame();
}

void RenderSession::finishGl() {
    glFinish();
}

void RenderSession::finish() {
    gl.destroy();
    if (preInitDone)
        Shutdown();
    preInitDone = false;
    initDone = false;
}

bool RenderSession::open(const char* command, const std::string& root, int width, int height) {
    std::string error;
    if (!enterDataRoot(root, error) || !checkSceneFiles(error)) {
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, error.c_str());
        return false;
    }
    if (!start(width, height, error)) {
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, error.c_str());
        finish();
        return false;
    }
    return true;
}
