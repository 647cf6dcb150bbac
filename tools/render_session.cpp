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
#include <vector>

#include "app/linux_paths.h"
#include "assets/image.h"
#include "assets/scene_object.h"
#include "render/backends/backend_by_name.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "scene/scene_constants.h"

bool enterDataRoot(const std::string& root, std::string& error) {
    if (chdir(root.c_str()) != 0) {
        error = root + ": " + std::strerror(errno);
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
    const bool prepared = PreInit();
    preInitDone = true;
    // The scene stops at the first file it cannot use, with the reader's reason.
    if (!prepared) {
        error = GetFailureReason();
        return false;
    }
    // The demo would draw without its picture; the tool's pictures would then
    // not show the scene as shipped. A described scene's picture was read by PreInit.
    Image picture;
    if (!customScene && !picture.load(kEnvironmentFile, readBmp)) {
        error = std::string(kEnvironmentFile) + ": " + picture.failure.text;
        return false;
    }
    if (!gl.create(width, height)) {
        error = "no headless OpenGL context of " + std::to_string(width) + "x" +
                std::to_string(height) + ": " + gl.error;
        return false;
    }
    glViewport(0, 0, width, height);
    sceneBackend = makeBackend(backend == BackendChoice::Exact  ? "exact"
                               : backend == BackendChoice::Fast ? "fast"
                                                                : "auto");
    if (!Init()) {
        error = backend == BackendChoice::Fast
                    ? "the context lacks what the fast backend needs (OpenGL 2.0 shaders)"
                    : "the scene could not be initialised (Init failed)";
        return false;
    }
    initDone = true;
    return chooseSamples(error);
}

bool RenderSession::chooseSamples(std::string& error) {
    if (std::strcmp(sceneBackend->name(), "exact") == 0) {
        // Draws as the Windows program does, one sample per pixel, also
        // where the context lacks the fast backend's shaders.
        if (samples > 1) {
            error = "--samples " + std::to_string(samples) +
                    ": the exact backend draws one sample per pixel (the context lacks the fast "
                    "backend's OpenGL 2.0 shaders)";
            return false;
        }
        samples = 1;
        return true;
    }
    if (samples == 0) {
        samples = gl.maxSamples() >= kDefaultSamples ? kDefaultSamples : 1;
    }
    if (!gl.setSamples(samples)) {
        error = "--samples " + std::to_string(samples) + ": " + gl.error;
        return false;
    }
    return true;
}

void RenderSession::renderFrame(std::uint32_t timeMs) {
    runFrame(timeMs);
    gl.resolve();  // a window's swap does it too
    finishGl();
}

FrameInputs RenderSession::inputsAt(std::uint32_t timeMs) const {
    FrameInputs inputs;
    inputs.timeMs = timeMs;
    inputs.width = gl.width;
    inputs.height = gl.height;
    inputs.depthBudget = depth;
    inputs.camera = camera;
    inputs.backend = drawing;
    return inputs;
}

void RenderSession::runFrame(std::uint32_t timeMs) {
    glViewport(0, 0, gl.width, gl.height);
    drawFrame(inputsAt(timeMs));
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

bool parseBackend(const std::string& text, BackendChoice& choice) {
    if (text == "exact" || text == "fast") {
        choice = text == "exact" ? BackendChoice::Exact : BackendChoice::Fast;
        return true;
    }
    return false;
}

bool parseSamples(const std::string& text, int& samples) {
    for (const char* offered : {"1", "2", "4", "8"}) {
        if (text == offered) {
            samples = offered[0] - '0';
            return true;
        }
    }
    return false;
}

bool RenderSession::open(const char* command, const std::string& givenRoot, int width, int height) {
    // --root names the one folder to use; without it, the demo's own search.
    const std::vector<std::string> candidates = givenRoot.empty()
                                                    ? dataRootCandidates(executableFolder())
                                                    : std::vector<std::string>{givenRoot};
    // A scene file names its files from its own folder: nothing to find.
    std::string root = ".";
    std::string error;
    if (!customScene && !findDataRoot(candidates, root, error)) {
        std::fprintf(stderr, "glasswake-tool %s: the data files were not found; looked in: %s\n",
                     command, error.c_str());
        return false;
    }
    if (!enterDataRoot(root, error)) {
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, error.c_str());
        return false;
    }
    if (!start(width, height, error)) {
        // The scene names its files from the data root: say which root.
        if (root != "." && error.compare(0, std::strlen(kDataFolder), kDataFolder) == 0)
            error = joinPath(root, error);
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, error.c_str());
        finish();
        return false;
    }
    return true;
}
