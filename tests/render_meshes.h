#pragma once

// Small closed meshes for the renderer tests, written as object files and
// read back through the real reader so they are built like the shipped ones.

#include <cstdint>
#include <cstring>
#include <string>
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

inline void putU32(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size = 4) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8) {
        bytes.push_back(std::uint8_t(value >> shift));
    }
}

inline void putChunk(std::vector<std::uint8_t>& bytes, const char* id,
                     const std::vector<std::uint8_t>& body) {
    bytes.insert(bytes.end(), id, id + 4);
    putU32(bytes, std::uint32_t(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
}

inline std::vector<std::uint8_t> lwoBytes(const MeshData& mesh) {
    std::vector<std::uint8_t> pnts;
    for (const Vector3& p : mesh.points) {
        for (float value : {p.x, p.y, p.z}) {
            std::uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            putU32(pnts, bits);
        }
    }
    std::vector<std::uint8_t> pols;
    for (const auto& face : mesh.faces) {
        putU32(pols, std::uint32_t(face.size()), 2);
        for (std::uint16_t index : face) {
            putU32(pols, index, 2);
        }
        putU32(pols, 1, 2);  // surface
    }
    std::vector<std::uint8_t> form = {'L', 'W', 'O', 'B'};
    putChunk(form, "PNTS", pnts);
    putChunk(form, "POLS", pols);
    std::vector<std::uint8_t> bytes;
    putChunk(bytes, "FORM", form);
    return bytes;
}

// Loads, shades and edge-links the mesh into object; false on any failure.
inline bool loadMesh(SceneObject& object, const MeshData& mesh, const std::string& name) {
    const std::string path = testing_support::scratchPath(name + ".lwo");
    if (!testing_support::writeFile(path, lwoBytes(mesh)) || !object.loadLwo(path.c_str())) {
        return false;
    }
    object.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor());
    return object.buildEdges();
}

// An axis-aligned cube; faces wound so that (p1 - p0) x (p2 - p0) points out,
// which projects clockwise when seen from outside.
inline MeshData cube(Vector3 c, float h) {
    MeshData mesh;
    mesh.points = {{c.x - h, c.y - h, c.z - h}, {c.x + h, c.y - h, c.z - h},
                   {c.x + h, c.y + h, c.z - h}, {c.x - h, c.y + h, c.z - h},
                   {c.x - h, c.y - h, c.z + h}, {c.x + h, c.y - h, c.z + h},
                   {c.x + h, c.y + h, c.z + h}, {c.x - h, c.y + h, c.z + h}};
    mesh.faces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 4, 7, 3},
                  {1, 2, 6, 5}, {0, 1, 5, 4}, {3, 7, 6, 2}};
    return mesh;
}

}  // namespace render_meshes
