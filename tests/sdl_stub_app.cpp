// A stand-in application for the Linux shell's end-to-end tests: it records
// which hook ran when, with what the shell gave it, and can fail on request.
//   GLASSWAKE_STUB_MODE  "", "init-false" or "frame-false"
//   GLASSWAKE_STUB_LOG   file that receives one line per event
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/hooks.h"
#include "app/sdl/shell.h"

// The application defines the values the shell writes, as the scene does.
std::uint32_t frameTimeMs = 0;
ClientSize clientSize;

namespace {

// Init takes at least this long, so the first frame's clock must show it.
constexpr Uint32 kInitDelayMs = 60;
// A failing Frame fails on this call.
constexpr unsigned kFailingFrame = 5;

unsigned frameCount = 0;
std::uint32_t firstFrameTimeMs = 0;
std::uint32_t lastFrameTimeMs = 0;
bool clockWentBack = false;
bool frameAfterFailure = false;
ClientSize lastSize{-1, -1};
bool titleChanged = false;

bool mode(const char* name) {
    const char* value = std::getenv("GLASSWAKE_STUB_MODE");
    return value != nullptr && std::strcmp(value, name) == 0;
}

__attribute__((format(printf, 1, 2))) void logLine(const char* format, ...) {
    const char* path = std::getenv("GLASSWAKE_STUB_LOG");
    if (path == nullptr) {
        return;
    }
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(file, format, arguments);
    va_end(arguments);
    std::fputc('\n', file);
    std::fclose(file);
}

int hasContext() {
    return SDL_GL_GetCurrentContext() != nullptr ? 1 : 0;
}

}  // namespace

bool PreInit() {
    logLine("PreInit context=%d windows=%d", hasContext(),
            SDL_GetKeyboardFocus() != nullptr || SDL_GL_GetCurrentWindow() != nullptr ? 1 : 0);
    return true;
}

bool Init() {
    SDL_Delay(kInitDelayMs);
    int doubleBuffer = -1;
    int depthBits = -1;
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depthBits);
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    logLine("Init context=%d client=%dx%d title=%s double=%d depth=%d", hasContext(),
            static_cast<int>(clientSize.width), static_cast<int>(clientSize.height),
            window != nullptr ? SDL_GetWindowTitle(window) : "-", doubleBuffer, depthBits);
    return !mode("init-false");
}

bool Frame() {
    if (frameCount == 0) {
        firstFrameTimeMs = frameTimeMs;
    } else if (frameTimeMs < lastFrameTimeMs) {
        clockWentBack = true;
    }
    if (mode("frame-false") && frameCount >= kFailingFrame) {
        frameAfterFailure = true;
    }
    lastFrameTimeMs = frameTimeMs;
    ++frameCount;
    if (!titleChanged) {
        SDL_Window* window = SDL_GL_GetCurrentWindow();
        if (window != nullptr && std::strcmp(SDL_GetWindowTitle(window), GetCaption()) != 0) {
            titleChanged = true;
            logLine("Title at %u ms: %s", static_cast<unsigned>(frameTimeMs),
                    SDL_GetWindowTitle(window));
        }
    }
    if (clientSize.width != lastSize.width || clientSize.height != lastSize.height) {
        lastSize = clientSize;
        logLine("Size %dx%d", static_cast<int>(clientSize.width),
                static_cast<int>(clientSize.height));
    }

    glClear(GL_COLOR_BUFFER_BIT);
    return !(mode("frame-false") && frameCount == kFailingFrame);
}

void Shutdown() {
    logLine("Shutdown context=%d frames=%u first=%u clockback=%d afterfailure=%d", hasContext(),
            frameCount, static_cast<unsigned>(firstFrameTimeMs), clockWentBack ? 1 : 0,
            frameAfterFailure ? 1 : 0);
}

const char* GetCaption() {
    return "Glasswake";
}
const char* GetTitle() {
    return "Glasswake by Orvel / Lumo [fps: +inf :-)]";
}

int main(int argc, char** argv) {
    return runShell(argc, argv);
}
