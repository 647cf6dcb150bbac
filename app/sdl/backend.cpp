// The Linux demo draws with the fast backend where the context has what it
// needs and with the OpenGL 1.1 one otherwise; GLASSWAKE_BACKEND=exact or
// =fast insists on one (fast on a context without shaders then fails to
// start). The choice is made while the program starts, before main, so the
// shell itself stays free of anything the scene draws with.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/backends/exact_backend.h"
#include "render/backends/fast_backend.h"
#include "scene/scene.h"

namespace {

ExactBackend exactBackend;
FastBackend fastBackend;
AutoBackend autoBackend;

const bool backendChosen = [] {
    const char* asked = std::getenv("GLASSWAKE_BACKEND");
    if (asked && std::strcmp(asked, "exact") == 0) {
        sceneBackend = &exactBackend;
    } else if (asked && std::strcmp(asked, "fast") == 0) {
        sceneBackend = &fastBackend;
    } else {
        if (asked && *asked) {
            std::fprintf(stderr,
                         "glasswake: GLASSWAKE_BACKEND is exact or fast, not \"%s\"; "
                         "choosing by the context\n",
                         asked);
        }
        sceneBackend = &autoBackend;
    }
    return true;
}();

}  // namespace
