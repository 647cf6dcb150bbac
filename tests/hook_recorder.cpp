// A test application behind the real shell (Win32 or SDL): it records what
// the shell lets it see at each hook, so the end-to-end suites can check the
// start-up order, the clock, the end of the loop and the failure paths the
// demo scene never takes.
//   GLASSWAKE_HOOK_LOG   file that receives one line per event
//   GLASSWAKE_HOOK_MODE  "", "init-false" or "frame-false" (fails on frame 20)
#ifdef _WIN32
#include <windows.h>

#include <GL/gl.h>
#else
#include <SDL.h>
#include <SDL_opengl.h>

#include <string>

#include "app/sdl/settings_file.h"
#include "app/sdl/shell.h"
#endif

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/hooks.h"
#include "app/shell_rules.h"
#include "scene/scene_constants.h"

std::uint32_t frameTimeMs = 0;
ClientSize clientSize;

namespace {

// Init takes this long, so the first frame's clock must show it.
constexpr unsigned kInitMs = 300;
constexpr unsigned kFailingFrame = 20;

unsigned frames = 0;
std::uint32_t firstTime = 0;
std::uint32_t lastTime = 0;
bool clockWentBack = false;
bool frameAfterFailure = false;
bool contextInFrames = true;
bool titleChanged = false;
ClientSize lastSize{-1, -1};

// What differs between the platforms: the window, its context and title.
#ifdef _WIN32
HWND window() {
    return FindWindowA("VEXA_Class", nullptr);
}
// Before PreInit not even the window class may exist.
int windowOrClass() {
    WNDCLASSA windowClass;
    return GetClassInfoA(GetModuleHandleA(nullptr), "VEXA_Class", &windowClass) || window() ? 1 : 0;
}
int hasContext() {
    return wglGetCurrentContext() != nullptr ? 1 : 0;
}
int visible() {
    return IsWindowVisible(window()) ? 1 : 0;
}
const char* title() {
    static char text[128];
    text[0] = '\0';
    GetWindowTextA(window(), text, sizeof text);
    return text;
}
void drawable(int& width, int& height) {
    RECT client{};
    GetClientRect(window(), &client);
    width = client.right;
    height = client.bottom;
}
int savedWidth() {
    return static_cast<int>(
        GetPrivateProfileIntA(kSettingsSection, kWidthKey, -1, kSettingsFileName));
}
void pause(unsigned ms) {
    Sleep(ms);
}
#else
SDL_Window* window() {
    SDL_Window* focus = SDL_GetKeyboardFocus();
    return focus != nullptr ? focus : SDL_GL_GetCurrentWindow();
}
int windowOrClass() {
    return window() != nullptr ? 1 : 0;
}
int hasContext() {
    return SDL_GL_GetCurrentContext() != nullptr ? 1 : 0;
}
int visible() {
    return (SDL_GetWindowFlags(window()) & SDL_WINDOW_SHOWN) != 0 ? 1 : 0;
}
const char* title() {
    return SDL_GetWindowTitle(window());
}
void drawable(int& width, int& height) {
    SDL_GL_GetDrawableSize(window(), &width, &height);
}
int savedWidth() {
    std::string problem;
    std::FILE* file = std::fopen(kSettingsFileName, "rb");
    if (file == nullptr) {
        return -1;
    }
    std::fclose(file);
    return loadSettingsFile(kSettingsFileName, 24, problem).width;
}
void pause(unsigned ms) {
    SDL_Delay(ms);
}
#endif

bool mode(const char* name) {
    const char* value = std::getenv("GLASSWAKE_HOOK_MODE");
    return value != nullptr && std::strcmp(value, name) == 0;
}

#ifndef _WIN32
__attribute__((format(printf, 1, 2)))
#endif
void record(const char* format, ...) {
    const char* path = std::getenv("GLASSWAKE_HOOK_LOG");
    std::FILE* file = path != nullptr ? std::fopen(path, "a") : nullptr;
    if (file == nullptr) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(file, format, arguments);
    va_end(arguments);
    std::fputc('\n', file);
    std::fclose(file);
}

}  // namespace

bool PreInit() {
    record("PreInit context=%d window=%d", hasContext(), windowOrClass());
    return true;
}

bool Init() {
    int width = 0;
    int height = 0;
    drawable(width, height);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLboolean doubleBuffer = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffer);
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    record(
        "Init context=%d visible=%d caption=%s client=%dx%d drawable=%dx%d viewport=%dx%d "
        "double=%d depth=%d",
        hasContext(), visible(), title(), static_cast<int>(clientSize.width),
        static_cast<int>(clientSize.height), width, height, viewport[2], viewport[3],
        doubleBuffer ? 1 : 0, depthBits);
    pause(kInitMs);
    return !mode("init-false");
}

bool Frame() {
    if (frames == 0) {
        firstTime = frameTimeMs;
    } else if (frameTimeMs < lastTime) {
        clockWentBack = true;
    }
    lastTime = frameTimeMs;
    frameAfterFailure = frameAfterFailure || (mode("frame-false") && frames >= kFailingFrame);
    contextInFrames = contextInFrames && hasContext() == 1;
    ++frames;
    if (!titleChanged && std::strcmp(title(), GetCaption()) != 0) {
        titleChanged = true;
        record("Title at %u ms: %s", static_cast<unsigned>(frameTimeMs), title());
    }
    if (clientSize.width != lastSize.width || clientSize.height != lastSize.height) {
        lastSize = clientSize;
        record("Size %dx%d", static_cast<int>(clientSize.width),
               static_cast<int>(clientSize.height));
    }
    glClear(GL_COLOR_BUFFER_BIT);
    return !(mode("frame-false") && frames == kFailingFrame);
}

void Shutdown() {
    // The settings were saved when the window went, before the loop ended.
    record(
        "Shutdown context=%d window=%d frames=%u first>=init=%d clockback=%d afterfailure=%d "
        "inframes=%d saved=%d",
        hasContext(), window() != nullptr ? 1 : 0, frames, firstTime >= kInitMs ? 1 : 0,
        clockWentBack ? 1 : 0, frameAfterFailure ? 1 : 0, contextInFrames ? 1 : 0, savedWidth());
}

const char* GetCaption() {
    return kWindowCaption;
}
const char* GetTitle() {
    return kWindowTitle;
}

#ifndef _WIN32
int main(int argc, char** argv) {
    return runShell(argc, argv);
}
#endif
