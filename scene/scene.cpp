#include "scene/scene.h"

#include "assets/image.h"
#include "render/frame_record.h"
#include "scene/hooks.h"
#include "scene/scene_constants.h"

SceneObject sceneObjects[4];

std::int32_t visibilityTable[5][5] = {
    {1, 2, 3, -1, -1},  // through a face of the base
    {2, 3, 0, -1, -1},  // through crystal 1
    {1, 3, 0, -1, -1},  // through crystal 2
    {1, 2, 0, -1, -1},  // through crystal 3
    {2, 1, 3, 0, -1},   // the root: nearest first, rewritten every frame
};
std::int32_t (&drawOrder)[5] = visibilityTable[4];
const TraversalScene sceneTraversal{sceneObjects, 4, visibilityTable};

namespace {
NoneBackend noBackend;
}  // namespace
RenderBackend* sceneBackend = &noBackend;

// Written by whichever shell runs the scene.
std::uint32_t frameTimeMs = 0;
ClientSize clientSize;

bool sceneReady = false;

bool PreInit() {
    sceneReady = false;
    std::int32_t edgesNeeded = 0;
    for (int i = 0; i < 4; ++i) {
        SceneObject& object = sceneObjects[i];
        if (setUpSceneObject(object, kObjectFiles[i]) != ObjectSetup::Ready) {
            return false;
        }
        const std::int32_t needed = scratchEdgesNeeded(object);
        edgesNeeded = needed > edgesNeeded ? needed : edgesNeeded;
    }
    // The edge table is sized here, once, for the largest outline any view of
    // these meshes can have, so frames never allocate or overrun it.
    if (!reserveScratchEdges(edgesNeeded)) {
        return false;
    }
    if (!frameArena.create(kFramePolygonCapacity, kFramePointCapacity, kFrameSlotCapacity) ||
        !frameRecord.create(kFrameCommandCapacity)) {
        return false;
    }
    sceneReady = true;
    return true;
}

bool createSceneBackend() {
    Image picture;
    picture.load(kEnvironmentFile, readBmp);  // a missing picture leaves an empty texture
    const bool created = sceneBackend->create(picture);
    picture.release();
    return created;
}

bool Init() {
    return createSceneBackend();
}

void Shutdown() {
    sceneReady = false;
    frameArena.release();
    frameRecord.release();
    sceneBackend->destroy();
}

const char* GetCaption() {
    return kWindowCaption;
}

const char* GetTitle() {
    return kWindowTitle;
}
