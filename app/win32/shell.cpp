// The Win32 shell: start-up, the window and its messages, the loop that
// draws whenever the message queue is empty, and the orderly end.

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "app/shell_rules.h"
#include "app/win32/display.h"
#include "app/win32/shell.h"
#include "scene/hooks.h"

namespace {

const char kWindowClassName[] = "VEXA_Class";

bool running = false;
std::int64_t counterFrequency = 0;
std::int64_t startCounter = 0;

std::int64_t readCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

void showFailure(HWND owner, const FailureMessage& message) {
    MessageBoxA(owner, message.text, message.caption, MB_OK | MB_ICONERROR);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            HDC dc = GetDC(window);
            if (displaySettings.fullscreen) {
                // A refused mode leaves the popup over the unchanged display.
                enterFullscreenMode();
            }
            setupPixelFormat(dc);
            glContext = wglCreateContext(dc);
            wglMakeCurrent(dc, glContext);
            ReleaseDC(window, dc);
            return 0;
        }
        case WM_DESTROY: {
            HDC dc = GetDC(window);
            wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(glContext);
            glContext = nullptr;
            ReleaseDC(window, dc);
            if (displaySettings.fullscreen) {
                restoreDisplayMode();
            }
            saveSettings();
            PostQuitMessage(0);
            return 0;
        }
        case WM_SIZE:
            // A minimised window reports 0 x 0; the scene guards its own aspect.
            clientSize.width = LOWORD(lParam);
            clientSize.height = HIWORD(lParam);
            resizeViewport(clientSize.width, clientSize.height);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                DestroyWindow(window);
            }
            return 0;
        case WM_TIMER:
            if (wParam == static_cast<WPARAM>(kTitleTimerId) && running) {
                SetWindowTextA(window, GetTitle());
            }
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Registers the class and opens the window the settings ask for; null
// after showing why when either fails.
HWND createWindow(HINSTANCE instance) {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClassName;
    if (RegisterClassA(&windowClass) == 0) {
        showFailure(nullptr, kWindowClassFailed);
        return nullptr;
    }

    // Windowed, the settings' size is the outer size; the client area
    // reaches clientSize through the resize message.
    const bool fullscreen = displaySettings.fullscreen;
    const DWORD style =
        fullscreen ? WS_POPUP : WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    const int x = fullscreen ? 0 : CW_USEDEFAULT;
    const int y = fullscreen ? 0 : CW_USEDEFAULT;
    HWND window =
        CreateWindowExA(0, kWindowClassName, GetCaption(), style, x, y, displaySettings.width,
                        displaySettings.height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        showFailure(nullptr, kWindowCreationFailed);
    }
    return window;
}

// Messages first; with the queue empty, the next frame at once, never a
// sleep. Returns the quit message's code.
int runMessageLoop(HWND window) {
    // Until a message is taken the record must read as something other than
    // the quit message.
    MSG message;
    std::memset(&message, 0, sizeof message);
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    while (message.message != WM_QUIT) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        frameTimeMs = frameTimeFromCounter(readCounter(), startCounter, counterFrequency);
        HDC dc = GetDC(window);
        if (!Frame()) {
            ReleaseDC(window, dc);
            // Posts the quit message, which ends the loop on the next pass.
            DestroyWindow(window);
            continue;
        }
        SwapBuffers(dc);
        ReleaseDC(window, dc);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int runShell(HINSTANCE instance, const char* commandLine) {
    running = false;
    loadSettings();
    applyCommandLine(displaySettings, commandLine != nullptr ? commandLine : "");

    if (!PreInit()) {
        showFailure(nullptr, kPreInitFailed);
        return kStartupFailedExitCode;
    }

    clientSize.width = displaySettings.width;
    clientSize.height = displaySettings.height;
    HWND window = createWindow(instance);
    if (window == nullptr) {
        return kStartupFailedExitCode;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    counterFrequency = frequency.QuadPart;
    startCounter = readCounter();

    if (!Init()) {
        showFailure(window, kInitFailed);
        return kStartupFailedExitCode;
    }

    SetTimer(window, kTitleTimerId, kTitleTimerPeriodMs, nullptr);
    running = true;
    const int code = runMessageLoop(window);
    running = false;
    Shutdown();
    return code;
}
