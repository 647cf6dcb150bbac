#include "render/backends/backend_by_name.h"

#include <cstring>

#include "render/backends/exact_backend.h"
#ifndef _WIN32
#include "render/backends/fast_backend.h"
#endif

RenderBackend* makeBackend(const char* name) {
    if (!name)
        return nullptr;
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
    return nullptr;
}
