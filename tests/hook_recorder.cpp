// A test application behind the real shell (Win32 or SDL): it records what
// the shell lets it see at each hook, so the end-to-end suites can check the
// start-up order, the clock, the end of the loop and the failure paths the
// demo scene never takes.
//   GLASSWAKE_HOOK_LOG   file that receives one line per event
//   GLASSWAKE_HOOK_MODE  "", "init-false" or "frame-false" (fails on frame 20)
#ifdef _WIN32
#include <windows.h>

#include <GL/gl.h>

#include "app/win32/shell.h"
#else
#include <SDL.h>
#include <SDL_opengl.h>
#include <unistd.h>

#include <string>

#include "app/linux_paths.h"
#include "app/sdl/settings_file.h"
#include "app/sdl/shell.h"
#endif

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/shell_rules.h"
#include "scene/hooks.h"
#include "scene/scene_constants.h"

std::uint32_t frameTimeMs = 0;
ClientSize clientSize;

namespace {

// Init takes this long, so the first frame's clock must show it.
constexpr unsigned kInitMs = 300;
constexpr unsigned kFailingFrame = 20;

unsigned frames = 0;
std::uint32_t firstTime = 0, lastTime = 0;
int clockWentBack = 0, contextInFrames = 1;
bool titleChanged = false;
ClientSize lastSize{-1, -1};

// What the shell lets the application see; the only platform-specific part.
struct Seen {
    int shell = 0;  // the window, or on Win32 already its class
    int window = 0, context = 0, visible = 0, width = 0, height = 0;
    char title[128] = {};
};

Seen look() {
    Seen seen;
#ifdef _WIN32
    HWND window = FindWindowA("VEXA_Class", nullptr);
    WNDCLASSA windowClass;
    seen.window = window != nullptr;
    seen.shell =
        seen.window || GetClassInfoA(GetModuleHandleA(nullptr), "VEXA_Class", &windowClass);
    seen.context = wglGetCurrentContext() != nullptr;
    seen.visible = window != nullptr && IsWindowVisible(window);
    RECT client{};
    GetClientRect(window, &client);
    seen.width = client.right;
    seen.height = client.bottom;
    GetWindowTextA(window, seen.title, sizeof seen.title);
#else
    SDL_Window* window = SDL_GetKeyboardFocus();
    window = window != nullptr ? window : SDL_GL_GetCurrentWindow();
    seen.shell = seen.window = window != nullptr;
    seen.context = SDL_GL_GetCurrentContext() != nullptr;
    seen.visible = window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) != 0;
    if (window != nullptr) {
        SDL_GL_GetDrawableSize(window, &seen.width, &seen.height);
        std::snprintf(seen.title, sizeof seen.title, "%s", SDL_GetWindowTitle(window));
    }
#endif
    return seen;
}

// The width in the saved settings file, -1 without one.
int savedWidth() {
#ifdef _WIN32
    return static_cast<int>(
        GetPrivateProfileIntA(kSettingsSection, kWidthKey, -1, kSettingsFileName));
#else
    std::string problem;
    std::string note;
    const std::string path = settingsFilePath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"),
                                              userDatabaseHome(), note);
    return access(path.c_str(), F_OK) != 0 ? -1 : loadSettingsFile(path, 24, problem).width;
#endif
}

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
    const Seen seen = look();
    record("PreInit context=%d window=%d", seen.context, seen.shell);
    return true;
}

bool Init() {
#ifdef _WIN32
    // A title tick before the loop runs must leave the caption alone.
    SendMessageA(FindWindowA("VEXA_Class", nullptr), WM_TIMER, kTitleTimerId, 0);
    WNDCLASSA c;
    GetClassInfoA(GetModuleHandleA(nullptr), "VEXA_Class", &c);
    record("Class style=%#x arrow=%d icon=%d brush=%d extra=%d,%d", c.style,
           c.hCursor == LoadCursor(nullptr, IDC_ARROW), c.hIcon != nullptr,
           c.hbrBackground != nullptr, c.cbClsExtra, c.cbWndExtra);
#endif
    const Seen seen = look();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLboolean doubleBuffer = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffer);
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    record(
        "Init context=%d visible=%d caption=%s client=%dx%d drawable=%dx%d viewport=%dx%d "
        "double=%d depth=%d",
        seen.context, seen.visible, seen.title, static_cast<int>(clientSize.width),
        static_cast<int>(clientSize.height), seen.width, seen.height, viewport[2], viewport[3],
        doubleBuffer ? 1 : 0, depthBits);
#ifdef _WIN32
    Sleep(kInitMs);
#else
    SDL_Delay(kInitMs);
#endif
    return !mode("init-false");
}

bool Frame() {
    if (frames == 0) {
        firstTime = frameTimeMs;
    } else if (frameTimeMs < lastTime) {
        clockWentBack = 1;
    }
    lastTime = frameTimeMs;
    const Seen seen = look();
    contextInFrames &= seen.context;
    ++frames;
    if (!titleChanged && std::strcmp(seen.title, GetCaption()) != 0) {
        titleChanged = true;
        record("Title at %u ms: %s", static_cast<unsigned>(frameTimeMs), seen.title);
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
        "Shutdown context=%d window=%d frames=%u first>=init=%d clockback=%d inframes=%d saved=%d",
        look().context, look().window, frames, firstTime >= kInitMs, clockWentBack, contextInFrames,
        savedWidth());
}

const char* GetCaption() {
    return kWindowCaption;
}
const char* GetTitle() {
    return kWindowTitle;
}
const char* GetFailureReason() {
    return mode("init-false") ? "the recorder was told to fail Init" : "";
}

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    return runShell(instance, commandLine);
}
#else
int main(int argc, char** argv) {
    return runShell(argc, argv);
}
#endif
