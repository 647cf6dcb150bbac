#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/sdl/demo_options.h"
#include "app/sdl/demo_viewer.h"
#include "app/sdl/shell.h"
#include "render/backends/backend_by_name.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

namespace {

SceneDescription givenScene;  // lives as long as the program, as customScene must

// --scene FILE: the scene the file describes instead of the data folder's.
// False after saying why the file cannot be used.
bool takeScene(const std::string& path) {
    ReadFailure failure;
    if (!readSceneFile(absoluteScenePath(path.c_str()).c_str(), givenScene, failure)) {
        std::fprintf(stderr, "glasswake: %s: %s\n", path.c_str(), failure.text);
        return false;
    }
    customScene = &givenScene;
    return true;
}

// The backend --backend or GLASSWAKE_BACKEND names, else the best the
// context has.
void chooseBackend(const std::string& option) {
    const char* asked = option.empty() ? std::getenv("GLASSWAKE_BACKEND") : option.c_str();
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
}

}  // namespace

// The demo draws with the fast backend where the context has what it needs
// and with the OpenGL 1.1 one otherwise; --backend, or GLASSWAKE_BACKEND in
// the environment, insists on one (fast on a context without shaders then
// fails to start).
int main(int argc, char** argv) {
    DemoOptions options;
    std::string problem;
    if (!parseDemoOptions(argc, argv, options, problem)) {
        std::fprintf(stderr, "glasswake: %s\nTry 'glasswake --help' for more information.\n",
                     problem.c_str());
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(options.help ? demoHelp().c_str() : "glasswake " GLASSWAKE_VERSION "\n", stdout);
        return 0;
    }
    chooseBackend(options.backend);
    if (!options.scene.empty() && !takeScene(options.scene)) {
        return 1;
    }
    setUpViewer(options);
    ShellStart start;
    start.argumentText = options.argumentText;
    start.width = options.width;
    start.height = options.height;
    start.onEvent = viewerEvent;
    start.frame = viewerFrame;
    start.presented = viewerPresented;
    start.idle = viewerIdle;
    start.title = viewerTitle;
    start.findData = !customScene;  // a scene file names its own files
    return runShell(start);
}
