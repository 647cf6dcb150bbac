#pragma once

#include <SDL_events.h>
#include <SDL_video.h>

#include <string>

// Runs the application behind the hooks of scene/hooks.h: settings, command
// line, window, GL context, main loop and shutdown. Returns the exit code.
int runShell(int argc, const char* const* argv);

// The window is held to 1 ... this many pixels a side, so a negative or absurd
// size in the settings can neither be refused by the window system nor ask
// for a drawing surface of gigabytes; the settings keep what was read.
constexpr int kMaxWindowExtent = 8192;

// What a program adds to the shell for one run.
struct ShellStart {
    // Searched for the full-screen switch, as the whole command line is.
    std::string argumentText;
    // A window size for this run only; 0 x 0 takes the settings'. Never saved.
    int width = 0;
    int height = 0;
    // Events other than Escape (the window's own after the shell's part), on
    // the main thread.
    void (*onEvent)(const SDL_Event& event) = nullptr;
    // Draws a frame in place of the Frame hook; false closes the window.
    bool (*frame)() = nullptr;
    // Called after each frame is on screen, outside the frame: the place
    // for work that allocates or writes files.
    void (*presented)() = nullptr;
    // True when the picture on screen is still the one to show: the loop
    // then waits for an event instead of drawing and swapping.
    bool (*idle)() = nullptr;
    // The title the timer sets in place of GetTitle().
    const char* (*title)() = nullptr;
    // First move to the data set's folder (not for an application whose
    // files are named otherwise).
    bool findData = true;
};
int runShell(const ShellStart& start);

// The window while the loop runs, else null.
SDL_Window* shellWindow();
