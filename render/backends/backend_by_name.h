#pragma once

#include "render/render_backend.h"

// The one place every program gets its backend from. Desktop builds: "exact"
// (OpenGL 1.1), "fast" (shaders, not on Windows) or "auto" (fast where the
// context has what it needs, else exact). The browser build: "webgl", which
// "auto" also gives. Null for any other name. Each name always gives the
// same object.
RenderBackend* makeBackend(const char* name);
