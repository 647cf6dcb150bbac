#include <algorithm>
#include <cmath>

#include "scene/scene.h"
#include "scene/scene_constants.h"
#include "scene/scene_file.h"

// Apart from scene.cpp, so the tools that only describe objects do not take
// in the scene's globals and hooks.
ObjectSetup setUpSceneObject(SceneObject& object, const char* path) {
    if (!object.loadLwo(path)) {
        return ObjectSetup::NotLoaded;
    }
    object.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor());
    return object.buildEdges() ? ObjectSetup::Ready : ObjectSetup::NotClosed;
}

ObjectSetup setUpDescribedObject(SceneObject& object, const ObjectDescription& description,
                                 bool mustBeConvex) {
    if (!object.loadMesh(description.mesh.c_str())) {
        return ObjectSetup::NotLoaded;
    }
    object.transform(description.scale, description.offset);
    object.baseColor = description.baseColor;
    object.reflectColor = description.reflectColor;
    object.refractColor = description.refractColor;
    object.refractiveIndex = description.refractiveIndex;
    object.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor());
    if (!object.buildEdges()) {
        return ObjectSetup::NotClosed;
    }
    if (mustBeConvex && !object.convex) {
        object.failure.set(
            "the mesh is not convex (a crystal must be: nothing hides its own faces)");
        return ObjectSetup::NotConvex;
    }
    return ObjectSetup::Ready;
}

ObjectBox boxOf(const SceneObject& object) {
    ObjectBox box;
    for (std::int32_t p = 0; p < object.pointCount; ++p) {
        const Vector3& v = object.points[p].position;
        box.low =
            Vector3(std::min(box.low.x, v.x), std::min(box.low.y, v.y), std::min(box.low.z, v.z));
        box.high = Vector3(std::max(box.high.x, v.x), std::max(box.high.y, v.y),
                           std::max(box.high.z, v.z));
    }
    return box;
}
