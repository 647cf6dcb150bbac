#include <algorithm>
#include <cmath>

#include "render/frame_state.h"
#include "render/view.h"
#include "scene/hooks.h"
#include "scene/scene.h"

Vector3 orbitEye(double seconds) {
    const float orbitAngle = static_cast<float>(seconds * kOrbitRadiansPerSecond);
    const float c = std::cos(orbitAngle);
    const float s = std::sin(orbitAngle);
    // The start turned about the vertical axis.
    return Vector3(kOrbitStart.x * c - kOrbitStart.z * s, kOrbitStart.y,
                   kOrbitStart.x * s + kOrbitStart.z * c);
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
}

namespace {

// Record the views: from the root at the eye, every view the depth budget
// reaches, into the record, with the objects visited nearest first.
void recordViews(const Vector3& eye, float aspect, int depthBudget, FrameRecord& record) {
    frameArena.reset();
    record.reset();
    View root(eye, kOrbitTarget, 1.0f, aspect, 1.0f);
    float objectDepth[4];
    for (int i = 0; i < 4; ++i) {
        objectDepth[i] = root.matrix.transformPoint(sceneObjects[i].center).z;
    }
    orderByDepth(objectDepth);
    root.draw(sceneTraversal, std::clamp(depthBudget, 0, kMaxFrameDepthBudget));
}

// Each pass leaves windows this many times larger closed than the last.
constexpr float kTrimStep = 16.0f;
constexpr int kTrimPasses = 4;

// Record the views within the frame's memory. Views under the budget's open
// limit open no children; when the rest still do not fit, the frame is
// recorded again with the smallest windows left closed first, up to
// 16^4 pixels, and last with only the faces the eye sees directly looked
// through. Each pass starts from a rewound arena, so no object goes missing.
void recordWithinBudget(const Vector3& eye, float aspect, std::int32_t height, int depthBudget,
                        FrameState& frame) {
    const float pixelArea =
        (2.0f / static_cast<float>(height)) * (2.0f / static_cast<float>(height));
    frame.minOpenArea = sceneBudget.minOpenPixels * pixelArea;
    recordViews(eye, aspect, depthBudget, frame.record);
    float closeBelow = std::max(frame.minOpenArea, pixelArea);
    for (int pass = 0; frame.trimming && frameOutOfRoom() && pass <= kTrimPasses; ++pass) {
        closeBelow *= kTrimStep;
        const bool lastPass = pass == kTrimPasses;
        frame.minOpenArea = lastPass ? 0.0f : closeBelow;
        recordViews(eye, aspect, lastPass ? std::min(depthBudget, 1) : depthBudget, frame.record);
        frame.record.trimmed = true;
    }
}

}  // namespace

// One frame, step by step. The record's polygons live in the arena until the
// next frame rewinds it.
void drawFrame(const FrameInputs& inputs) {
    // Nothing to draw before a successful start, and a drawable without area
    // (a minimised window) has no aspect ratio: such frames touch nothing.
    if (!sceneReady || !frameArena.isReady() || inputs.width <= 0 || inputs.height <= 0) {
        return;
    }
    RenderBackend& backend = inputs.backend ? *inputs.backend : *sceneBackend;
    FrameState& frame = frameState;
    const float aspect = static_cast<float>(inputs.width) / static_cast<float>(inputs.height);
    // The orbit keeps its own arithmetic, so its frames stay exactly as they were.
    const Vector3 eye =
        inputs.camera ? cameraEye(*inputs.camera) : orbitEye(inputs.timeMs / 1000.0);

    backend.beginFrame(aspect);
    recordWithinBudget(eye, aspect, inputs.height, inputs.depthBudget, frame);
    const bool mended = frame.mending && frame.mend.run(frame.record, frameArena, frame.skipApart);
    planPasses(frame.record, backend.passMode(), frame.plan);
    countFrame(frame.stats, frame.record, frameArena, frame.mending, mended);
    backend.drawRecord(frame.record, frame.plan);
}

// The window shells' frame: the orbit at the shell's clock, in its client area.
bool Frame() {
    FrameInputs inputs;
    inputs.timeMs = frameTimeMs;
    inputs.width = clientSize.width;
    inputs.height = clientSize.height;
    drawFrame(inputs);
    return true;
}
