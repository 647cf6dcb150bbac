#include "app/sdl/display.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <SDL_syswm.h>

#include <cstdarg>
#include <cstdio>

#include "app/shell_rules.h"

int desktopDepth() {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        return 0;
    }
    return static_cast<int>(SDL_BITSPERPIXEL(mode.format));
}

void setupPixelFormat(int colorBits, int depthBits, int samples) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 1 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 1 ? samples : 0);
    SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, colorBits);
    // Per-channel sizes are left open: only the total is asked for.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0);
}

int chosenVisualId(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes) != 0) {
            return static_cast<int>(XVisualIDFromVisual(attributes.visual));
        }
    }
#else
    (void)window;
#endif
    return 0;
}

int currentDepth(SDL_Window* window) {
    const int index = SDL_GetWindowDisplayIndex(window);
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(index >= 0 ? index : 0, &mode) != 0) {
        return 0;
    }
    return static_cast<int>(SDL_BITSPERPIXEL(mode.format));
}

bool findFullscreenMode(int width, int height, std::uint8_t bitsPerPixel, SDL_DisplayMode& mode) {
    const int preferred = bitsPerPixel != 0 ? bitsPerPixel : desktopDepth();
    bool found = false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode candidate;
        if (SDL_GetDisplayMode(0, i, &candidate) != 0 || candidate.w != width ||
            candidate.h != height) {
            continue;
        }
        const int bits = static_cast<int>(SDL_BITSPERPIXEL(candidate.format));
        const int stored = static_cast<int>(SDL_BYTESPERPIXEL(candidate.format)) * 8;
        const bool depthMatches = preferred == bits || preferred == stored;
        if (depthMatches || (bitsPerPixel == 0 && !found)) {
            mode = candidate;
            found = true;
            if (depthMatches) {
                break;
            }
        }
    }
    return found;
}

bool enterFullscreenMode(SDL_Window* window, const SDL_DisplayMode& mode) {
    return SDL_SetWindowDisplayMode(window, &mode) == 0;
}

void coverDisplay(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    Display* display = info.info.x11.display;
    // Every window manager owns this selection for the screen it manages.
    char selection[32];
    std::snprintf(selection, sizeof selection, "WM_S%d", DefaultScreen(display));
    if (XGetSelectionOwner(display, XInternAtom(display, selection, False)) != None) {
        return;
    }
    const int index = SDL_GetWindowDisplayIndex(window);
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(index >= 0 ? index : 0, &bounds) != 0) {
        return;
    }
    XMoveResizeWindow(display, info.info.x11.window, bounds.x, bounds.y,
                      static_cast<unsigned>(bounds.w), static_cast<unsigned>(bounds.h));
    XSync(display, False);
#else
    (void)window;
#endif
}

void restoreDisplayMode(SDL_Window* window) {
    SDL_SetWindowFullscreen(window, 0);
}

void resizeViewport(int width, int height) {
    glViewport(0, 0, width, viewportHeight(height));
}

void debugPrint(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::fputs(text, stderr);
    std::fflush(stderr);
}
