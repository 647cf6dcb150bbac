#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/sdl/shell.h"
#include "render/backends/backend_by_name.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

namespace {

SceneDescription givenScene;  // lives as long as the program, as customScene must

// "--scene FILE": the scene the file describes instead of the data folder's.
// False after saying why the file cannot be used.
bool takeSceneOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scene") != 0) {
            continue;
        }
        ReadFailure failure;
        if (i + 1 >= argc ||
            !readSceneFile(absoluteScenePath(argv[i + 1]).c_str(), givenScene, failure)) {
            std::fprintf(stderr, "glasswake: %s: %s\n", i + 1 < argc ? argv[i + 1] : "--scene",
                         i + 1 < argc ? failure.text : "needs a scene file");
            return false;
        }
        customScene = &givenScene;
    }
    return true;
}

}  // namespace

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
    if (!takeSceneOption(argc, argv)) {
        return 1;
    }
    return runShell(argc, argv, !customScene);  // a scene file names its own files
}
