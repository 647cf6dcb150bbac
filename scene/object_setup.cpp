#include "scene/scene.h"
#include "scene/scene_constants.h"

// Apart from scene.cpp, so the tools that only describe objects do not take
// in the scene's globals and hooks.
ObjectSetup setUpSceneObject(SceneObject& object, const char* path) {
    if (!object.loadLwo(path)) {
        return ObjectSetup::NotLoaded;
    }
    object.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor());
    return object.buildEdges() ? ObjectSetup::Ready : ObjectSetup::NotClosed;
}
