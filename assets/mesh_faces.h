#pragma once

#include <cstdint>
#include <vector>

#include "math/vector3.h"

struct SceneObject;

// What a mesh reader may hold, from the types' widths: counts are int32, a
// face's vertex count fits 16 bits as in an LWOB file. A file is read whole,
// so its size is capped too, which in practice bounds a mesh far lower.
constexpr std::int32_t kMaxMeshPoints = INT32_MAX;
constexpr std::int32_t kMaxMeshFaces = INT32_MAX;
constexpr std::int32_t kMaxFaceVertices = 65535;
constexpr long kMaxMeshFileBytes = long(256) << 20;
// A face that is not flat and convex is split into triangles, up to this size.
constexpr std::int32_t kMaxSplitFaceVertices = 1024;

// Faces as read: corners[starts[f] .. starts[f + 1]) are face f's point
// indices, lines[f] the line of the file it came from.
struct MeshFaces {
    std::vector<std::int32_t> corners;
    std::vector<std::int32_t> starts;
    std::vector<std::int32_t> lines;
};

// Fills an empty object from points and faces: faces that are not flat and
// convex are split into triangles, planes and centre are computed, edges
// linked, the winding checked (a mesh wound inward is turned round and says
// so in notice) and convexity decided. False with failure set when a face
// has no area or cannot be split, or the edges or the winding are refused.
bool buildMesh(SceneObject& object, const std::vector<Vector3>& points, const MeshFaces& faces);
