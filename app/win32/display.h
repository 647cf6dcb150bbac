#pragma once

// The Win32 side of the display settings: the settings file, the temporary
// full-screen mode, the pixel format, the viewport and the debugger output.

#include <windows.h>

#include <cstdarg>
#include <cstddef>

#include "app/shell_rules.h"

extern DisplaySettings displaySettings;
extern HGLRC glContext;

// Fills displaySettings from "Brightforge.INI" (defaults for missing keys).
void loadSettings();
// Writes displaySettings back; other keys and sections of the file stay.
void saveSettings();
// Switches the display to clientSize at the requested depth; true when accepted.
bool enterFullscreenMode();
// Returns the display to the mode stored in the registry.
void restoreDisplayMode();
// Chooses and sets the pixel format of the window's device context.
void setupPixelFormat(HDC dc);
// The GL viewport for a client area; a zero height becomes 1.
void resizeViewport(int width, int height);

// Formats with printf rules into `buffer`, never writing past `capacity`
// characters (the text is cut and always terminated). Returns the length of
// the text written.
std::size_t formatDebugText(char* buffer, std::size_t capacity, const char* format,
                            std::va_list arguments);
// Sends a formatted text, unchanged, to the debugger output.
void debugPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
