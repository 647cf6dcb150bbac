#pragma once

#include <SDL_video.h>

#include <cstdint>

// The platform side of the display settings: the desktop's depth, the GL
// pixel format asked for before a window exists, the temporary full-screen
// mode, the GL viewport and the debugger output.

// The colour depth of the desktop mode of the first display; 0 if unknown.
int desktopDepth();

// Asks for a double-buffered RGBA context with `colorBits` colour and
// `depthBits` depth bits, `samples` samples per pixel (1: not multisampled),
// no stencil or accumulation bits. Applies to the next window created.
void setupPixelFormat(int colorBits, int depthBits, int samples);

// The X visual the window's GL surface was created with; 0 where the video
// driver has no such number (e.g. Wayland).
int chosenVisualId(SDL_Window* window);

// The colour depth of the mode the window's display is in now; 0 if unknown.
int currentDepth(SDL_Window* window);

// The mode of the first display that is exactly width x height at
// `bitsPerPixel` (any depth when 0, the desktop's preferred); false when the
// display has none. A depth counts in significant or in stored bits, so a
// 24-bit mode stored in 32-bit pixels serves a request for 24 or 32.
bool findFullscreenMode(int width, int height, std::uint8_t bitsPerPixel, SDL_DisplayMode& mode);

// Gives the full-screen window `mode`; SDL switches to it when the window
// shows and back when the window leaves full screen. True when accepted.
bool enterFullscreenMode(SDL_Window* window, const SDL_DisplayMode& mode);

// Where no window manager places a full-screen window (a bare X server), moves
// and sizes it over its whole display, as a window manager would.
void coverDisplay(SDL_Window* window);

// Takes the window out of full screen, which returns the display to its mode.
void restoreDisplayMode(SDL_Window* window);

// The GL viewport for a client area; a height of 0 becomes 1.
void resizeViewport(int width, int height);

// printf-style text to standard error (the debugger output on this platform),
// formatted into 1024 characters, sent unchanged.
void debugPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
