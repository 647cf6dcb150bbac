#include "app/sdl/shell.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/linux_paths.h"
#include "app/sdl/display.h"
#include "app/sdl/settings_file.h"
#include "app/shell_rules.h"
#include "scene/hooks.h"

namespace {

// While the window is minimised or hidden nothing is drawn; the loop waits
// this long for an event instead of spinning.
constexpr int kIdleWaitMs = 10;

// The video drivers that show a window. Without a reachable display SDL would
// otherwise fall back to its offscreen driver and run unseen, with no way to
// end it but a signal. SDL_VIDEODRIVER in the environment still wins. Wayland
// is tried only where its socket folder is named: its library otherwise
// prints a complaint of its own on the way to failing.
const char* windowDrivers() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? "x11,wayland,kmsdrm" : "x11,kmsdrm";
}

constexpr const char* kNoDisplay =
    "glasswake: no display to open a window on (DISPLAY is unset or its server does not answer); "
    "glasswake-tool render draws the same pictures and clips without one\n";

bool running = false;
ShellStart startOptions;
LinuxSettings displaySettings;
// Where the settings are read from and saved to, fixed at start.
std::string settingsPath;
// The settings file could not be read as ours: it is not written at exit.
bool settingsLeftAlone = false;
// Full screen got its exact display mode (else the window is a plain popup).
bool modeSwitched = false;
SDL_Window* window = nullptr;
SDL_GLContext glContext = nullptr;
bool quitPosted = false;
std::int64_t counterFrequency = 0;
std::int64_t startCounter = 0;
Uint32 titleTimerEvent = 0;
SDL_TimerID titleTimer = 0;
// Set by SIGINT or SIGTERM: the window then ends as by Escape, settings
// saved, as soon as the loop runs. While a start-up failure is shown the two
// signals take their default action instead and end the program at once, as
// nothing is left to save.
volatile std::sig_atomic_t quitSignalled = 0;
volatile std::sig_atomic_t showingFailure = 0;

void onQuitSignal(int signal) {
    if (showingFailure != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    quitSignalled = 1;
}

// Signals ignored by whoever started the program stay ignored.
void catchQuitSignals() {
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_DFL) {
            action.sa_handler = onQuitSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = 0;
            sigaction(signal, &action, nullptr);
        }
    }
}

// On the terminal as well as in the box: a program started from one reports
// there why it did not run, and without a display the box cannot show.
void showFailure(const FailureMessage& message, SDL_Window* owner) {
    const std::string text = failureText(message, GetFailureReason());
    std::fprintf(stderr, "%s: %s\n", message.caption, text.c_str());
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, message.caption, text.c_str(), owner);
}

// Wide enough for a 32-bit size minus borders.
int windowExtent(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, 1, kMaxWindowExtent));
}

// Creates the hidden window with its display mode and GL context. Full screen
// takes the display mode of exactly the settings' size and depth; when the
// display has none, the window is a popup of that size over the unchanged
// display. The pixel format asks for colour and depth bits equal to
// BitsPerPixel; like a closest match, fewer depth bits are accepted when the
// display offers no such format.
bool createWindow() {
    const bool fullscreen = displaySettings.fullscreen;
    const int width = windowExtent(clientSize.width);
    const int height = windowExtent(clientSize.height);
    SDL_DisplayMode mode{};
    modeSwitched = fullscreen && findFullscreenMode(clientSize.width, clientSize.height,
                                                    displaySettings.bitsPerPixel, mode);
    const Uint32 flags =
        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN |
        (modeSwitched ? SDL_WINDOW_FULLSCREEN
                      : (fullscreen ? SDL_WINDOW_BORDERLESS : SDL_WINDOW_RESIZABLE));
    const int position = fullscreen ? 0 : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    const int bits = displaySettings.bitsPerPixel;
    const int formats[][2] = {{bits, bits}, {0, bits}, {0, 24}, {0, 16}, {0, 0}};
    // The samples asked for where the display offers them, else one.
    for (const int samples : {displaySettings.samples, 1}) {
        for (const auto& format : formats) {
            setupPixelFormat(format[0], format[1], samples);
            window = SDL_CreateWindow(GetCaption(), position, position, width, height, flags);
            if (window != nullptr) {
                break;
            }
        }
        if (window != nullptr || samples == 1) {
            break;
        }
        std::fprintf(stderr, "%d samples per pixel are not offered here; drawing with 1\n",
                     displaySettings.samples);
    }
    if (window == nullptr) {
        return false;
    }
    if (modeSwitched && !enterFullscreenMode(window, mode)) {
        modeSwitched = false;
        SDL_SetWindowFullscreen(window, 0);
        SDL_SetWindowBordered(window, SDL_FALSE);
    }
    glContext = SDL_GL_CreateContext(window);
    if (glContext == nullptr) {
        // Without a context nothing could be drawn: report it as a failed window.
        SDL_DestroyWindow(window);
        window = nullptr;
        return false;
    }
    SDL_GL_MakeCurrent(window, glContext);
    return true;
}

void updateClientSize() {
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window, &width, &height);
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) != 0) {
        width = 0;
        height = 0;
    }
    clientSize.width = width;
    clientSize.height = height;
    resizeViewport(width, height);
}

// Shows the window, which switches the display mode, and reports the pixel
// format with the depth now in effect. A windowed size from the settings is
// the outer size, decorations included, where the window manager reports them.
void showWindow() {
    SDL_ShowWindow(window);
    if (modeSwitched) {
        coverDisplay(window);
    } else if (!displaySettings.fullscreen && startOptions.width == 0) {
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
        if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 &&
            top + left + bottom + right > 0) {
            SDL_SetWindowSize(window,
                              windowExtent(std::int64_t{displaySettings.width} - left - right),
                              windowExtent(std::int64_t{displaySettings.height} - top - bottom));
        }
    }
    SDL_PumpEvents();
    debugPrint(kPixelFormatReport, chosenVisualId(window), currentDepth(window));
    updateClientSize();
}

// The one way the window ends: Escape, the close button, a false Frame, or a
// quit request. Afterwards the loop runs out the queue and stops.
void destroyWindow() {
    if (window == nullptr) {
        return;
    }
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(glContext);
    glContext = nullptr;
    if (modeSwitched) {
        restoreDisplayMode(window);
    }
    std::string problem;
    if (!settingsLeftAlone && (!makeParentFolders(settingsPath, problem) ||
                               !saveSettingsFile(settingsPath, displaySettings, problem))) {
        std::fprintf(stderr, "%s %s; the settings were not saved\n", settingsPath.c_str(),
                     problem.c_str());
    }
    SDL_DestroyWindow(window);
    window = nullptr;
    quitPosted = true;
}

Uint32 titleTimerTick(Uint32 interval, void*) {
    // Runs on SDL's timer thread: only post, the title is set on the main thread.
    SDL_Event event{};
    event.type = titleTimerEvent;
    event.user.code = kTitleTimerId;
    SDL_PushEvent(&event);
    return interval;
}

void handleEvent(const SDL_Event& event) {
    if (event.type == SDL_QUIT) {
        destroyWindow();
    } else if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) {
        destroyWindow();
    } else if (event.type == SDL_WINDOWEVENT) {
        if (window == nullptr || event.window.windowID != SDL_GetWindowID(window)) {
            return;
        }
        switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                destroyWindow();
                break;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_MINIMIZED:
            case SDL_WINDOWEVENT_MAXIMIZED:
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_SHOWN:
                updateClientSize();
                break;
            default:
                break;
        }
        if (startOptions.onEvent && window != nullptr) {
            startOptions.onEvent(event);
        }
    } else if (event.type == titleTimerEvent) {
        if (event.user.code == kTitleTimerId && running && window != nullptr) {
            SDL_SetWindowTitle(window, startOptions.title ? startOptions.title() : GetTitle());
        }
    } else if (startOptions.onEvent && window != nullptr) {
        startOptions.onEvent(event);
    }
}

void runLoop() {
    SDL_Event event;
    for (;;) {
        // Every waiting event first; the quit request counts once the queue is empty.
        if (SDL_PollEvent(&event) != 0) {
            handleEvent(event);
            continue;
        }
        if (quitSignalled != 0) {
            quitSignalled = 0;
            destroyWindow();
        }
        if (quitPosted || window == nullptr) {
            break;
        }
        if ((SDL_GetWindowFlags(window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0 ||
            (startOptions.idle && startOptions.idle())) {
            SDL_WaitEventTimeout(nullptr, kIdleWaitMs);
            continue;
        }
        frameTimeMs = frameTimeFromCounter(static_cast<std::int64_t>(SDL_GetPerformanceCounter()),
                                           startCounter, counterFrequency);
        if (!(startOptions.frame ? startOptions.frame() : Frame())) {
            destroyWindow();
            continue;
        }
        SDL_GL_SwapWindow(window);
        if (startOptions.presented) {
            startOptions.presented();
        }
    }
}

// Ends a failed start-up. Shutting SDL down also takes a full-screen window
// out of its display mode.
int failStartup(const FailureMessage& message, SDL_Window* owner) {
    showingFailure = 1;
    if (quitSignalled != 0) {
        return kStartupFailedExitCode;  // asked to end already: no box to wait on
    }
    showFailure(message, owner);
    SDL_Quit();
    return kStartupFailedExitCode;
}

}  // namespace

int runShell(int argc, const char* const* argv) {
    ShellStart start;
    start.argumentText = joinArguments(argc, argv);
    return runShell(start);
}

SDL_Window* shellWindow() {
    return running ? window : nullptr;
}

int runShell(const ShellStart& start) {
    running = false;
    startOptions = start;
    SDL_SetMainReady();
    SDL_SetHint(SDL_HINT_VIDEODRIVER, windowDrivers());
    // SIGINT and SIGTERM are the shell's own (see onQuitSignal).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    catchQuitSignals();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        std::fputs(kNoDisplay, stderr);
        return kStartupFailedExitCode;
    }
    std::string problem;
    std::string note;
    settingsPath = settingsFilePath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"),
                                    userDatabaseHome(), note);
    if (!note.empty()) {
        std::fprintf(stderr, "glasswake: %s\n", note.c_str());
    }
    if (settingsPath.empty()) {
        displaySettings = readSettingsText("", desktopDepth());
        settingsLeftAlone = true;
    } else {
        displaySettings = loadSettingsFile(settingsPath, desktopDepth(), problem);
        settingsLeftAlone = !problem.empty();
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "%s %s; the defaults are used and the file is left as it is\n",
                     settingsPath.c_str(), problem.c_str());
    }
    applyCommandLine(displaySettings, start.argumentText);
    if (start.findData) {
        enterFoundDataRoot("glasswake");
    }

    if (!PreInit()) {
        return failStartup(kPreInitFailed, nullptr);
    }
    clientSize.width = start.width > 0 ? start.width : displaySettings.width;
    clientSize.height = start.height > 0 ? start.height : displaySettings.height;
    if (!createWindow()) {
        return failStartup(kWindowCreationFailed, nullptr);
    }
    showWindow();

    counterFrequency = static_cast<std::int64_t>(SDL_GetPerformanceFrequency());
    startCounter = static_cast<std::int64_t>(SDL_GetPerformanceCounter());
    if (!Init()) {
        // As on the other platform: no destroy, no Shutdown, no save.
        return failStartup(kInitFailed, window);
    }
    titleTimerEvent = SDL_RegisterEvents(1);
    if (titleTimerEvent != static_cast<Uint32>(-1)) {
        titleTimer = SDL_AddTimer(kTitleTimerPeriodMs, titleTimerTick, nullptr);
    }
    running = true;

    runLoop();

    running = false;
    if (titleTimer != 0) {
        SDL_RemoveTimer(titleTimer);
    }
    Shutdown();
    SDL_Quit();
    return 0;
}
