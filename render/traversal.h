#pragma once

#include <cstdint>
#include <vector>

#include "render/polygon.h"

struct SceneObject;

// Row r lists, in visiting order, the objects seen through a View whose
// objectIndex is r; a negative entry ends the row. Row 4 is the root's
// order, rewritten by the scene every frame.
extern std::int32_t visibilityTable[5][5];

// The one edge table shared by every level of the traversal: each fill is
// consumed by the very next clip. It holds 100 edges until sized for the
// loaded meshes.
extern std::vector<Edge2> scratchEdges;

// The largest edge table an object can need: its outline (one edge per mesh
// edge plus one per cut back face) or a face polygon (vertexCount + 1 edges).
std::int32_t scratchEdgesNeeded(const SceneObject& object);

// Grows the table to hold at least count edges. Heap allocation: call it when
// meshes are loaded, never inside a frame.
bool reserveScratchEdges(std::int32_t count);
