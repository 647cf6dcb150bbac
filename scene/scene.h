#pragma once

#include <cstdint>

#include "assets/scene_object.h"
#include "math/vector3.h"
#include "render/frame_arena.h"
#include "render/render_backend.h"
#include "render/traversal.h"

// The demo's objects: 0 the base, 1 to 3 the crystals. These indices are the
// ones the visibility table and every View's objectIndex use.
extern SceneObject sceneObjects[4];

// Row r lists, in visiting order, the objects seen through a View whose
// objectIndex is r; a negative entry ends the row. Row 4 is the root's
// order, rewritten every frame.
extern std::int32_t visibilityTable[5][5];
// Row 4 of the visibility table: the root's visiting order, nearest first,
// then -1.
extern std::int32_t (&drawOrder)[5];
// The objects and rows as the traversal sees them.
extern const TraversalScene sceneTraversal;

// What draws the frames. Set by the program before Init; none draws nothing
// (the front end alone). Init creates it, Shutdown destroys it.
extern RenderBackend* sceneBackend;

// True once PreInit has loaded every object and created the frame arena;
// frames draw nothing until then and after Shutdown.
extern bool sceneReady;

// The per-frame memory sizes.
constexpr std::int32_t kFramePolygonCapacity = 100000;
constexpr std::int32_t kFramePointCapacity = 100000;
constexpr std::int32_t kFrameSlotCapacity = 100000;
// Two commands a view; depth 2 needs under 300.
constexpr std::int32_t kFrameCommandCapacity = 65536;

// The camera circles the vertical axis at radius 4 and height 3, one turn
// every 8 seconds, looking at (0, 2, 0).
Vector3 orbitEye(double seconds);
inline const Vector3 kOrbitTarget(0.0f, 2.0f, 0.0f);

// Rewrites drawOrder[0..3] with the objects by increasing depth; equal depths
// (or NaN) keep index order.
void orderByDepth(const float objectDepth[4]);
