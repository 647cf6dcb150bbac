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

void setupPixelFormat(int colorBits, int depthBits) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
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

bool enterFullscreenMode(SDL_Window* window, int width, int height, std::uint8_t bitsPerPixel) {
    const int display =
        SDL_GetWindowDisplayIndex(window) >= 0 ? SDL_GetWindowDisplayIndex(window) : 0;
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    SDL_DisplayMode closest;
    if (SDL_GetClosestDisplayMode(display, &wanted, &closest) == nullptr) {
        return false;
    }
    // Among the modes of that size prefer one of the asked depth.
    if (bitsPerPixel != 0 && SDL_BITSPERPIXEL(closest.format) != bitsPerPixel) {
        const int count = SDL_GetNumDisplayModes(display);
        for (int i = 0; i < count; ++i) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(display, i, &mode) == 0 && mode.w == closest.w &&
                mode.h == closest.h && SDL_BITSPERPIXEL(mode.format) == bitsPerPixel) {
                closest = mode;
                break;
            }
        }
    }
    return SDL_SetWindowDisplayMode(window, &closest) == 0;
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
