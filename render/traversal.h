#pragma once

#include <cstdint>
#include <vector>

#include "render/polygon.h"

struct SceneObject;

// What the traversal needs of the scene, owned and filled by the scene.
// visibility row r lists, in visiting order, the objects seen through a View
// whose objectIndex is r; a negative entry ends the row. Row objectCount is
// the root's.
struct TraversalScene {
    static constexpr int kMaxObjects = 4;
    SceneObject* objects = nullptr;
    std::int32_t objectCount = 0;
    const std::int32_t (*visibility)[kMaxObjects + 1] = nullptr;
};

// The one edge table shared by every level of the traversal: each fill is
// consumed by the very next clip. It holds 100 edges until sized for the
// loaded meshes.
extern std::vector<Edge2> scratchEdges;

// The largest edge table an object can need: its outline (one edge per mesh
// edge plus one per cut back face) or a face polygon (vertexCount + 1 edges).
std::int32_t scratchEdgesNeeded(const SceneObject& object);

// Grows the table to hold at least count edges; false when count is negative
// or the memory cannot be had. Heap allocation: call it when meshes are
// loaded, never inside a frame.
bool reserveScratchEdges(std::int32_t count);

// True once the frame has run out of arena or record room: nothing more is
// cut or opened, what is there is still drawn.
bool frameOutOfRoom();
