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

bool Frame() {
    // Nothing to draw before a successful start, and a window without area
    // (minimised) has no aspect ratio: such frames touch nothing.
    if (!sceneReady || !frameArena.isReady() || clientSize.width <= 0 || clientSize.height <= 0) {
        return true;
    }
    const double t = frameTimeMs / 1000.0;
    const float aspect =
        static_cast<float>(clientSize.width) / static_cast<float>(clientSize.height);
    sceneBackend->beginFrame(aspect);
    const Vector3 eye = orbitEye(t);

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
        root.draw(sceneTraversal, std::clamp(frameDepthBudget, 0, kMaxFrameDepthBudget));
    }
    endFrameStats();
    // The record's polygons live in the arena until the next frame resets it.
    sceneBackend->drawRecord(frameRecord);
    return true;
}
