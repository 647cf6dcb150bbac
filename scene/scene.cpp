#include "scene/scene.h"

#include "app/hooks.h"
#include "assets/image.h"
#include "render/gl.h"
#include "render/traversal.h"
#include "scene/scene_constants.h"

SceneObject sceneObjects[4];
const char* const objectFiles[4] = {"data/base2.lwo", "data/crystal1.lwo", "data/crystal2.lwo",
                                    "data/crystal3.lwo"};
Texture environmentTexture;
std::int32_t (&drawOrder)[5] = visibilityTable[4];

// Written by whichever shell runs the scene.
std::uint32_t frameTimeMs = 0;
ClientSize clientSize;

bool sceneReady = false;

bool PreInit() {
    sceneReady = false;
    const Vector3 lightDirection = sceneLightDirection();
    const Color ambientColor = sceneAmbientColor();
    const Color diffuseColor = sceneDiffuseColor();
    std::int32_t edgesNeeded = 0;
    for (int i = 0; i < 4; ++i) {
        SceneObject& object = sceneObjects[i];
        if (!object.loadLwo(objectFiles[i])) {
            return false;
        }
        object.shade(lightDirection, ambientColor, diffuseColor);
        if (!object.buildEdges()) {
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
    if (!frameArena.create(kFramePolygonCapacity, kFramePointCapacity, kFrameSlotCapacity)) {
        return false;
    }
    sceneReady = true;
    return true;
}

bool Init() {
    Image picture;
    picture.load("data/env.bmp", readBmp);  // a missing picture leaves an empty texture
    environmentTexture.create(picture, nullptr);
    picture.release();
    glShadeModel(GL_FLAT);
    glDisable(GL_DEPTH_TEST);
    return true;
}

void Shutdown() {
    sceneReady = false;
    frameArena.release();
    environmentTexture.destroy();
}

const char* GetCaption() {
    return "Glasswake";
}

const char* GetTitle() {
    return "Glasswake by Orvel / Lumo [fps: +inf :-)]";
}
