#pragma once

#include <SDL_events.h>

#include "app/sdl/demo_options.h"

// The Linux demo as a viewer: the page's keys, drag and wheel on the shared
// viewer (app/viewer.h), the views' outlines, the numbers, the help and the
// picture saved by P drawn over the frame. Until the first key or drag (or a
// --camera or --depth) it draws exactly the frames of the Frame hook.

// Takes the command line's camera and depth as the start.
void setUpViewer(const DemoOptions& options);

// For the shell (ShellStart): input, a frame, the title.
void viewerEvent(const SDL_Event& event);
bool viewerFrame();
// After a frame is on screen, outside it: what takes memory or time.
void viewerPresented();
// Paused with nothing changed since the last frame: nothing to draw.
bool viewerIdle();
const char* viewerTitle();
