#pragma once

// Runs the application behind the hooks of scene/hooks.h: settings, command
// line, window, GL context, main loop and shutdown. Returns the exit code.
int runShell(int argc, const char* const* argv);
