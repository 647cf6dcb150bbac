// A test application behind the real Win32 shell: it records what the shell
// lets it see at each hook, so the Wine suite can check the start-up order,
// the clock, the end of the loop and the failure paths the demo scene never
// takes. The environment chooses the behaviour:
//   GLASSWAKE_HOOK_LOG   file the records are appended to
//   GLASSWAKE_HOOK_MODE  "frame-false" (Frame returns false on its 20th call)
//                        or "init-fails" (Init returns false)
#include <windows.h>

#include <GL/gl.h>

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

constexpr int kFalseFrame = 20;
// Init takes this long, so the first frame's time must include it.
constexpr DWORD kInitMs = 300;

int framesCalled = 0;
std::uint32_t firstFrameTime = 0;
std::uint32_t lastFrameTime = 0;
bool timeNeverFell = true;
bool contextInEveryFrame = true;

bool mode(const char* name) {
    const char* value = std::getenv("GLASSWAKE_HOOK_MODE");
    return value != nullptr && std::strcmp(value, name) == 0;
}

void record(const char* format, ...) {
    const char* path = std::getenv("GLASSWAKE_HOOK_LOG");
    if (path == nullptr) {
        return;
    }
    std::FILE* file = std::fopen(path, "a");
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

HWND shellWindow() {
    return FindWindowA("VEXA_Class", nullptr);
}

bool classRegistered() {
    WNDCLASSA windowClass;
    return GetClassInfoA(GetModuleHandleA(nullptr), "VEXA_Class", &windowClass) != 0;
}

}  // namespace

bool PreInit() {
    record("PreInit class=%d window=%d context=%d", classRegistered() ? 1 : 0,
           shellWindow() != nullptr ? 1 : 0, wglGetCurrentContext() != nullptr ? 1 : 0);
    return true;
}

bool Init() {
    HWND window = shellWindow();
    RECT client{};
    GetClientRect(window, &client);
    char caption[128] = {};
    GetWindowTextA(window, caption, sizeof caption);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    record("Init visible=%d context=%d caption=%s clientSize=%dx%d client=%ldx%ld viewport=%dx%d",
           IsWindowVisible(window) ? 1 : 0, wglGetCurrentContext() != nullptr ? 1 : 0, caption,
           static_cast<int>(clientSize.width), static_cast<int>(clientSize.height), client.right,
           client.bottom, viewport[2], viewport[3]);
    Sleep(kInitMs);
    return !mode("init-fails");
}

bool Frame() {
    ++framesCalled;
    if (framesCalled == 1) {
        firstFrameTime = frameTimeMs;
    } else if (frameTimeMs < lastFrameTime) {
        timeNeverFell = false;
    }
    lastFrameTime = frameTimeMs;
    contextInEveryFrame = contextInEveryFrame && wglGetCurrentContext() != nullptr;
    if (framesCalled > kFalseFrame && mode("frame-false")) {
        record("Frame called after it returned false");
    }
    glClear(GL_COLOR_BUFFER_BIT);
    return !(framesCalled == kFalseFrame && mode("frame-false"));
}

void Shutdown() {
    // The settings were saved by the destroy message, before the loop ended.
    const int savedWidth =
        static_cast<int>(GetPrivateProfileIntA(kSettingsSection, kWidthKey, -1, kSettingsFileName));
    record(
        "Shutdown frames=%d firstTime>=init=%d timeNeverFell=%d contextInFrames=%d "
        "context=%d window=%d savedWidth=%d",
        framesCalled, firstFrameTime >= kInitMs ? 1 : 0, timeNeverFell ? 1 : 0,
        contextInEveryFrame ? 1 : 0, wglGetCurrentContext() != nullptr ? 1 : 0,
        shellWindow() != nullptr ? 1 : 0, savedWidth);
}

const char* GetCaption() {
    return kWindowCaption;
}
const char* GetTitle() {
    return kWindowTitle;
}
