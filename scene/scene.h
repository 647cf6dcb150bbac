#pragma once

#include <cstdint>

#include "assets/scene_object.h"
#include "assets/texture.h"
#include "math/vector3.h"
#include "render/frame_arena.h"

// The demo's objects: 0 the base, 1 to 3 the crystals. These indices are the
// ones the visibility table and every View's objectIndex use.
extern SceneObject sceneObjects[4];
extern const char* const objectFiles[4];
extern Texture environmentTexture;

// Row 4 of the visibility table: the root's visiting order, nearest first,
// then -1.
extern std::int32_t (&drawOrder)[5];

// True once PreInit has loaded every object and created the frame arena;
// frames draw nothing until then and after Shutdown.
extern bool sceneReady;

// The per-frame memory sizes.
constexpr std::int32_t kFramePolygonCapacity = 100000;
constexpr std::int32_t kFramePointCapacity = 100000;
constexpr std::int32_t kFrameSlotCapacity = 100000;

// The camera circles the vertical axis at radius 4 and height 3, one turn
// every 8 seconds, looking at (0, 2, 0).
Vector3 orbitEye(double seconds);
inline const Vector3 kOrbitTarget(0.0f, 2.0f, 0.0f);

// Rewrites drawOrder[0..3] with the objects by increasing depth; equal depths
// (or NaN) keep index order.
void orderByDepth(const float objectDepth[4]);
