#pragma once

// Small closed meshes for the renderer tests, written as object files and
// read back through the real reader so they are built exactly like the
// shipped ones (planes, centre, edge table, shading).

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "assets/scene_object.h"
#include "math/vector3.h"
#include "scene/scene_constants.h"
#include "tests/support.h"

namespace render_meshes {

struct MeshData {
    std::vector<Vector3> points;
    std::vector<std::vector<std::uint16_t>> faces;
};

inline void putU16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(std::uint8_t(value >> 8));
    bytes.push_back(std::uint8_t(value));
}

inline void putU32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    putU16(bytes, value >> 16);
    putU16(bytes, value & 0xffffu);
}

inline void putFloat(std::vector<std::uint8_t>& bytes, float value) {
    std::uint32_t bits;
    static_assert(sizeof bits == sizeof value, "float is 32 bits");
    std::memcpy(&bits, &value, sizeof bits);
    putU32(bytes, bits);
}

inline void putId(std::vector<std::uint8_t>& bytes, const char* id) {
    bytes.insert(bytes.end(), id, id + 4);
}

inline std::vector<std::uint8_t> lwoBytes(const MeshData& mesh) {
    std::vector<std::uint8_t> pnts;
    for (const Vector3& p : mesh.points) {
        putFloat(pnts, p.x);
        putFloat(pnts, p.y);
        putFloat(pnts, p.z);
    }
    std::vector<std::uint8_t> pols;
    for (const auto& face : mesh.faces) {
        putU16(pols, std::uint32_t(face.size()));
        for (std::uint16_t index : face) {
            putU16(pols, index);
        }
        putU16(pols, 1);
    }
    std::vector<std::uint8_t> bytes;
    putId(bytes, "FORM");
    putU32(bytes, std::uint32_t(4 + 8 + pnts.size() + 8 + pols.size()));
    putId(bytes, "LWOB");
    putId(bytes, "PNTS");
    putU32(bytes, std::uint32_t(pnts.size()));
    bytes.insert(bytes.end(), pnts.begin(), pnts.end());
    putId(bytes, "POLS");
    putU32(bytes, std::uint32_t(pols.size()));
    bytes.insert(bytes.end(), pols.begin(), pols.end());
    return bytes;
}

// Loads, shades and edge-links the mesh into object; false on any failure.
inline bool loadMesh(SceneObject& object, const MeshData& mesh, const std::string& name) {
    const std::string path = testing_support::scratchPath(name + ".lwo");
    if (!testing_support::writeFile(path, lwoBytes(mesh))) {
        return false;
    }
    if (!object.loadLwo(path.c_str())) {
        return false;
    }
    object.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor());
    return object.buildEdges();
}

// An axis-aligned box; faces wound so that (p1 - p0) x (p2 - p0) points out,
// which projects clockwise when seen from outside.
inline MeshData box(Vector3 low, Vector3 high) {
    MeshData mesh;
    mesh.points = {
        {low.x, low.y, low.z},    {high.x, low.y, low.z},  {high.x, high.y, low.z},
        {low.x, high.y, low.z},   {low.x, low.y, high.z},  {high.x, low.y, high.z},
        {high.x, high.y, high.z}, {low.x, high.y, high.z},
    };
    mesh.faces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 4, 7, 3},
                  {1, 2, 6, 5}, {0, 1, 5, 4}, {3, 7, 6, 2}};
    return mesh;
}

inline MeshData cube(Vector3 center, float half) {
    return box(Vector3(center.x - half, center.y - half, center.z - half),
               Vector3(center.x + half, center.y + half, center.z + half));
}

// A tetrahedron, wound outward.
inline MeshData tetrahedron(Vector3 center, float size) {
    MeshData mesh;
    mesh.points = {{center.x + size, center.y + size, center.z + size},
                   {center.x + size, center.y - size, center.z - size},
                   {center.x - size, center.y + size, center.z - size},
                   {center.x - size, center.y - size, center.z + size}};
    mesh.faces = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}};
    for (auto& face : mesh.faces) {
        const Vector3& p0 = mesh.points[face[0]];
        const Vector3 normal = (mesh.points[face[1]] - p0).cross(mesh.points[face[2]] - p0);
        if (normal.dot(p0 - center) < 0.0f) {
            std::swap(face[1], face[2]);
        }
    }
    return mesh;
}

}  // namespace render_meshes
