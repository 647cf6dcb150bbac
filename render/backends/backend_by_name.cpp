#include "render/backends/backend_by_name.h"

#include <cstring>

#ifdef __EMSCRIPTEN__
#include "render/backends/webgl_backend.h"
#else
#include "render/backends/exact_backend.h"
#ifndef _WIN32
#include "render/backends/fast_backend.h"
#endif
#endif

RenderBackend* makeBackend(const char* name) {
    if (!name)
        return nullptr;
#ifdef __EMSCRIPTEN__
    // The browser has WebGL only.
    if (std::strcmp(name, "webgl") == 0 || std::strcmp(name, "auto") == 0) {
        static WebGlBackend webgl;
        return &webgl;
    }
#else
    if (std::strcmp(name, "exact") == 0) {
        static ExactBackend exact;
        return &exact;
    }
#ifndef _WIN32
    if (std::strcmp(name, "fast") == 0) {
        static FastBackend fast;
        return &fast;
    }
    if (std::strcmp(name, "auto") == 0) {
        static AutoBackend automatic;
        return &automatic;
    }
#endif
#endif
    return nullptr;
}
