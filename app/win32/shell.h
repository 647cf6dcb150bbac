#pragma once

#include <windows.h>

// Runs the application behind the hooks of scene/hooks.h: settings, command
// line (the argument text without the program name), window, GL context,
// main loop and shutdown. Returns the exit code.
int runShell(HINSTANCE instance, const char* commandLine);
