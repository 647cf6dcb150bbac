#include "tools/scene_option.h"

#include <cstdio>

#include "scene/hooks.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

namespace {
SceneDescription givenScene;  // lives as long as the program, as customScene must
}  // namespace

bool useSceneFile(const char* command, const std::string& path) {
    ReadFailure failure;
    if (!readSceneFile(absoluteScenePath(path).c_str(), givenScene, failure)) {
        std::fprintf(stderr, "glasswake-tool %s: %s: %s\n", command, path.c_str(), failure.text);
        return false;
    }
    customScene = &givenScene;
    return true;
}

bool reportScene(const char* command) {
    const bool ready = PreInit();
    for (int i = 0; i < 4 && ready; ++i) {
        const SceneObject& object = sceneObjects[i];
        std::printf("%s: %s, %d points, %d faces, %d edges, %s\n", sceneObjectFile(i),
                    kSceneObjectNames[i], object.pointCount, object.faceCount, object.edgeCount,
                    object.convex ? "convex" : "not convex");
        if (object.notice.text[0]) {
            std::printf("%s: %s\n", sceneObjectFile(i), object.notice.text);
        }
    }
    if (ready && customScene) {
        std::printf("%s: picture, taken as sRGB and fitted to the texture\n",
                    customScene->picture.c_str());
    }
    if (!ready) {
        std::fprintf(stderr, "glasswake-tool %s: %s\n", command, GetFailureReason());
    }
    Shutdown();
    return ready;
}
