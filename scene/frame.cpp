#include <algorithm>
#include <cmath>

#include "render/frame_record.h"
#include "render/render_stats.h"
#include "render/view.h"
#include "scene/hooks.h"
#include "scene/scene.h"

Vector3 orbitEye(double seconds) {
    const float orbitAngle = static_cast<float>(seconds * 0.7853982f);
    const float c = std::cos(orbitAngle);
    const float s = std::sin(orbitAngle);
    // (0, 3, -4) turned about the vertical axis.
    return Vector3(0.0f * c - (-4.0f) * s, 3.0f, 0.0f * s + (-4.0f) * c);
}

void orderByDepth(const float objectDepth[4]) {
    drawOrder[0] = 0;
    for (std::int32_t q = 1; q < 4; ++q) {
        std::int32_t r = 0;
        while (r < q && !(objectDepth[drawOrder[r]] > objectDepth[q])) {
            ++r;
        }
        for (std::int32_t i = q; i > r; --i) {
            drawOrder[i] = drawOrder[i - 1];
        }
        drawOrder[r] = q;
    }
    drawOrder[4] = -1;
}

void drawFrame(const FrameInputs& inputs) {
    // Nothing to draw before a successful start, and a drawable without area
    // (a minimised window) has no aspect ratio: such frames touch nothing.
    if (!sceneReady || !frameArena.isReady() || inputs.width <= 0 || inputs.height <= 0) {
        return;
    }
    const float aspect = static_cast<float>(inputs.width) / static_cast<float>(inputs.height);
    sceneBackend->beginFrame(aspect);
    // The orbit keeps its own arithmetic, so its frames stay exactly as they were.
    const Vector3 eye =
        inputs.camera ? cameraEye(*inputs.camera) : orbitEye(inputs.timeMs / 1000.0);

    frameArena.reset();
    frameRecord.reset();
    beginFrameStats();
    {
        View root(eye, kOrbitTarget, 1.0f, aspect, 1.0f);
        float objectDepth[4];
        for (int i = 0; i < 4; ++i) {
            objectDepth[i] = root.matrix.transformPoint(sceneObjects[i].center).z;
        }
        orderByDepth(objectDepth);
        root.draw(sceneTraversal, std::clamp(inputs.depthBudget, 0, kMaxFrameDepthBudget));
    }
    endFrameStats();
    // The record's polygons live in the arena until the next frame resets it.
    sceneBackend->drawRecord(frameRecord);
}

// The window shells' frame: the orbit at the shell's clock, in its client area.
bool Frame() {
    FrameInputs inputs;
    inputs.timeMs = frameTimeMs;
    inputs.width = clientSize.width;
    inputs.height = clientSize.height;
    inputs.depthBudget = frameDepthBudget;
    drawFrame(inputs);
    return true;
}
