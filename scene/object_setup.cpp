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

namespace {

bool boxesApart(const ObjectBox& a, const ObjectBox& b) {
    return a.high.x <= b.low.x || b.high.x <= a.low.x || a.high.y <= b.low.y ||
           b.high.y <= a.low.y || a.high.z <= b.low.z || b.high.z <= a.low.z;
}

// Some face plane of a has every point of b on or in front of it.
bool separatedByFace(const SceneObject& a, const SceneObject& b) {
    for (std::int32_t f = 0; f < a.faceCount; ++f) {
        const Face& face = a.faces[f];
        bool apart = true;
        for (std::int32_t p = 0; p < b.pointCount && apart; ++p) {
            apart = face.planeNormal.dot(b.points[p].position) - face.planeDistance >= -1e-6f;
        }
        if (apart) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool objectsApart(const SceneObject* objects, int count, ReadFailure& failure) {
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const SceneObject& a = objects[i];
            const SceneObject& b = objects[j];
            if (boxesApart(boxOf(a), boxOf(b))) {
                continue;
            }
            // Without a depth buffer two convex objects either share no
            // space or some face plane of one has the other wholly in front.
            if (!a.convex || !b.convex || separatedByFace(a, b) || separatedByFace(b, a)) {
                continue;
            }
            failure.set("%s and %s overlap after their scale and offset", kSceneObjectNames[i],
                        kSceneObjectNames[j]);
            return false;
        }
    }
    return true;
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
