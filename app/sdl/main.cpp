#include <cstdio>
#include <cstdlib>

#include "app/sdl/shell.h"
#include "render/backends/backend_by_name.h"
#include "scene/scene.h"

// The demo draws with the fast backend where the context has what it needs
// and with the OpenGL 1.1 one otherwise; GLASSWAKE_BACKEND=exact or =fast
// insists on one (fast on a context without shaders then fails to start).
int main(int argc, char** argv) {
    const char* asked = std::getenv("GLASSWAKE_BACKEND");
    sceneBackend = asked && *asked ? makeBackend(asked) : nullptr;
    if (!sceneBackend) {
        if (asked && *asked) {
            std::fprintf(stderr,
                         "glasswake: GLASSWAKE_BACKEND is exact or fast, not \"%s\"; "
                         "choosing by the context\n",
                         asked);
        }
        sceneBackend = makeBackend("auto");
    }
    return runShell(argc, argv);
}
