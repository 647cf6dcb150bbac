#pragma once

#include "render/render_backend.h"

// The one place every program gets its OpenGL backend from: "exact" (OpenGL
// 1.1), "fast" (shaders, where the build has it) or "auto" (fast where the
// context has what it needs, else exact). Null for any other name. Each name
// always gives the same object.
RenderBackend* makeBackend(const char* name);
