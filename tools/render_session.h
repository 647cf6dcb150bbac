#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scene/scene.h"
#include "tools/headless_gl.h"

// The headless shell behind `render` and `bench`: runs the demo's hooks in
// the same order and with the same GL state as the window shells, but on an
// offscreen context of a fixed size.

// Makes root the working directory, so the demo finds data/ as it does when
// started from its own folder. Output paths must be made absolute first.
bool enterDataRoot(const std::string& root, std::string& error);

// One turn of the demo's orbit, and the moment of frame k of `frames`
// spread evenly over it.
constexpr std::uint32_t kOrbitMs = kOrbitPeriodMs;
inline std::uint32_t orbitTime(std::uint64_t k, std::uint64_t frames) {
    return static_cast<std::uint32_t>(k * kOrbitMs / frames);
}

// What draws the frames: the fast backend where the context allows it,
// else the exact one (Auto), or the one asked for by `--backend`.
enum class BackendChoice { Auto, Exact, Fast };
// "exact" or "fast"; false for anything else.
bool parseBackend(const std::string& text, BackendChoice& choice);
// --samples: 1, 2, 4 or 8 (whether the context offers them is known only
// once it exists); false for anything else.
bool parseSamples(const std::string& text, int& samples);

struct RenderSession {
    HeadlessGl gl;
    BackendChoice backend = BackendChoice::Auto;
    int depth = kDemoDepthBudget;
    // Samples per pixel; 0: the demo's (kDefaultSamples where the context
    // offers them, else 1). The exact backend always draws one.
    int samples = 0;
    std::optional<Camera> camera;  // none: the orbit
    // Draws the frames in place of the scene's backend (none: the scene's).
    RenderBackend* drawing = nullptr;
    bool preInitDone = false;
    bool initDone = false;

    // PreInit, the context of width x height, viewport, Init. A file the
    // demo could not load, or a picture it would draw without, is reported
    // as "path: the reader's reason".
    bool start(int width, int height, std::string& error);
    // The samples the frames are drawn with, once the backend is known.
    bool chooseSamples(std::string& error);
    // What a frame at the given time is drawn from: the context's size, the
    // session's depth and camera.
    FrameInputs inputsAt(std::uint32_t timeMs) const;
    // One frame at the given time, its samples resolved as a window's swap
    // resolves them; glFinish'ed so timings include the drawing.
    void renderFrame(std::uint32_t timeMs);
    // One frame without waiting for the GL side (for timing the CPU part).
    void runFrame(std::uint32_t timeMs);
    void finishGl();
    // Context first, then Shutdown, as the shells do.
    void finish();
    // What render and bench both do first: move to the data root (the first
    // folder holding the data set when `root` is empty), start. On failure
    // prints "glasswake-tool COMMAND: problem" and leaves nothing running.
    bool open(const char* command, const std::string& root, int width, int height);
};
