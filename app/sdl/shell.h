#pragma once

// Runs the application behind the hooks of scene/hooks.h: settings, command
// line, window, GL context, main loop and shutdown. Returns the exit code.
// findData: first move to the data set's folder (not for an application
// whose files are named otherwise).
int runShell(int argc, const char* const* argv, bool findData = true);
