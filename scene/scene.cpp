#include "scene/scene.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "assets/image.h"
#include "assets/picture.h"
#include "render/frame_state.h"
#include "scene/hooks.h"
#include "scene/scene_constants.h"
#include "scene/scene_file.h"

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
const SceneDescription* customScene = nullptr;

namespace {
// A described scene's picture, read by PreInit (so a picture that cannot be
// read stops start-up with its reason) and kept for every texture made.
Image customPicture;
}  // namespace

const char* sceneObjectFile(int index) {
    return customScene ? customScene->objects[index].mesh.c_str() : kObjectFiles[index];
}

namespace {

// Why start-up last failed; a file's name and the reader's reason fit.
char failureReason[192] = {};

// Keeps the reason and returns false, for `return fail(...)`.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
bool fail(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(failureReason, sizeof failureReason, format, arguments);
    va_end(arguments);
    return false;
}

// The four objects as scene describes them (null: the shipped scene), into
// objects; a described scene's objects must also stand apart and its
// picture must read.
bool setUpObjects(const SceneDescription* scene, SceneObject* objects, Image& picture) {
    for (int i = 0; i < 4; ++i) {
        const ObjectSetup setup = scene ? setUpDescribedObject(objects[i], scene->objects[i], i > 0)
                                        : setUpSceneObject(objects[i], kObjectFiles[i]);
        if (setup != ObjectSetup::Ready) {
            return fail("%s: %s", scene ? scene->objects[i].mesh.c_str() : kObjectFiles[i],
                        objects[i].failure.text);
        }
    }
    if (!scene) {
        return true;
    }
    ReadFailure overlap;
    if (!objectsApart(objects, 4, overlap)) {
        return fail("%s", overlap.text);
    }
    if (!picture.load(scene->picture.c_str(), readPicture)) {
        return fail("%s: %s", scene->picture.c_str(), picture.failure.text);
    }
    return true;
}

// The edge table holds the largest outline any view of these meshes can
// have, so frames never allocate or overrun it.
bool reserveEdgesFor(const SceneObject* objects) {
    std::int32_t edgesNeeded = 0;
    for (int i = 0; i < 4; ++i) {
        const std::int32_t needed = scratchEdgesNeeded(objects[i]);
        edgesNeeded = needed > edgesNeeded ? needed : edgesNeeded;
    }
    return reserveScratchEdges(edgesNeeded);
}

}  // namespace

bool PreInit() {
    sceneReady = false;
    failureReason[0] = '\0';
    if (!setUpObjects(customScene, sceneObjects, customPicture)) {
        return false;
    }
    if (!reserveEdgesFor(sceneObjects) ||
        !frameArena.create(kFramePolygonCapacity, kFramePointCapacity, kFrameSlotCapacity) ||
        !frameState.create(kFrameCommandCapacity, frameArena)) {
        return fail("no memory for the frame's working space");
    }
    // The budget draws sample frames of the scene to size their memory.
    sceneReady = true;
    if (!sizeFrameBudget(failureReason, sizeof failureReason)) {
        sceneReady = false;
        frameArena.release();
        frameState.release();
        return false;
    }
    return true;
}

namespace {

// The objects and picture drawn trade places with staged ones.
void swapScene(SceneObject* staged, Image& picture) {
    for (int i = 0; i < 4; ++i) {
        sceneObjects[i].swap(staged[i]);
    }
    customPicture.swap(picture);
}

// The frame memory sized again for the objects now loaded, from the
// standard sizes as at start-up.
bool resizeFrameBudget() {
    return recreateFrameArena(kFramePolygonCapacity, kFramePointCapacity, kFrameSlotCapacity)
               ? sizeFrameBudget(failureReason, sizeof failureReason)
               : fail("no memory for the frame's working space");
}

}  // namespace

bool changeScene(const SceneDescription* scene) {
    failureReason[0] = '\0';
    SceneObject staged[4];
    Image picture;
    if (!setUpObjects(scene, staged, picture)) {
        return false;
    }
    if (!reserveEdgesFor(staged)) {
        return fail("no memory for the scene's outlines");
    }
    swapScene(staged, picture);
    if (!resizeFrameBudget()) {
        // The scene drawn before goes back in the memory it was drawn in;
        // should even that fail, frames draw nothing rather than overrun.
        char reason[sizeof failureReason];
        std::memcpy(reason, failureReason, sizeof reason);
        swapScene(staged, picture);
        sceneReady = resizeFrameBudget();
        std::memcpy(failureReason, reason, sizeof reason);
        return false;
    }
    customScene = scene;
    sceneBackend->destroy();
    return createSceneBackend();
}

bool createSceneBackend() {
    failureReason[0] = '\0';
    bool created;
    if (customScene) {
        created = sceneBackend->create(customPicture);
    } else {
        Image picture;
        picture.load(kEnvironmentFile, readBmp);  // a missing picture leaves an empty texture
        created = sceneBackend->create(picture);
    }
    return created || fail("the OpenGL context cannot run the %s backend", sceneBackend->name());
}

bool Init() {
    return createSceneBackend();
}

void Shutdown() {
    sceneReady = false;
    frameArena.release();
    frameState.release();
    sceneBackend->destroy();
    customPicture.release();
}

const char* GetCaption() {
    return kWindowCaption;
}

const char* GetTitle() {
    return kWindowTitle;
}

const char* GetFailureReason() {
    return failureReason;
}
