#pragma once

#include <cstdint>
#include <string>

#include "tools/headless_gl.h"

// The headless shell behind `render` and `bench`: runs the demo's hooks in
// the same order and with the same GL state as the window shells, but on an
// offscreen context of a fixed size.

// Largest width or height the command line accepts.
constexpr int maxFrameSide = 16384;

// "640x480" -> 640, 480; false unless both sides are 1..maxFrameSide.
bool parseFrameSize(const char* text, int& width, int& height);
// A whole decimal number in [0, limit]; no sign, no spaces, nothing after it.
bool parseCount(const char* text, std::uint64_t limit, std::uint64_t& value);
// A positive decimal number (e.g. "30" or "29.97") up to limit.
bool parsePositive(const char* text, double limit, double& value);
// "glasswake-tool COMMAND: problem[: argument]" and the usage on stderr; returns 2.
int usageError(const char* command, const char* usage, const char* problem, const char* argument);

// Makes root the working directory, so the demo finds data/ as it does when
// started from its own folder. Output paths must be made absolute first.
bool enterDataRoot(const std::string& root, std::string& error);

// Checks the five data files the demo loads, in the demo's order, with the
// demo's own readers; the first problem is reported as "path: reason".
// A missing environment picture would not stop the demo (it draws the tinted
// window without the picture), but the tool refuses it: its pictures would
// not show the scene as shipped.
bool checkSceneFiles(std::string& error);

struct RenderSession {
    HeadlessGl gl;
    bool preInitDone = false;
    bool initDone = false;

    // PreInit, the context of width x height, viewport, Init.
    bool start(int width, int height, std::string& error);
    // One Frame at the given time; glFinish'ed so timings include the drawing.
    void renderFrame(std::uint32_t timeMs);
    // One Frame without waiting for the GL side (for timing the CPU part).
    void runFrame(std::uint32_t timeMs);
    void finishGl();
    // Context first, then Shutdown, as the shells do.
    void finish();
    // What render and bench both do first: move to the data root, check the
    // data files, start. On failure prints "glasswake-tool COMMAND: problem"
    // and leaves nothing running.
    bool open(const char* command, const std::string& root, int width, int height);
};
