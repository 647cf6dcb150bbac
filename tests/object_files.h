#pragma once

// The one builder of object-file bytes for the tests: small closed meshes,
// written as files and loaded through the real reader like the shipped ones.
// Only the readers' types and math: the readers' test links nothing above them.

#include <cstdint>
#include <cstring>
#include <vector>

#include "math/vector3.h"

namespace render_meshes {

struct MeshData {
    std::vector<Vector3> points;
    std::vector<std::vector<std::uint16_t>> faces;
};

// Object-file bytes: big-endian chunks in an "LWOB" FORM, all polygons on surface 1.
// Damaged files claim wrong sizes (64 bits, so 0xFFFFFFFF survives a 32-bit long).
using Bytes = std::vector<std::uint8_t>;

inline void put(Bytes& out, std::uint32_t value, int size) {
    while (size-- > 0) {
        out.push_back(std::uint8_t(value >> (8 * size)));
    }
}

inline Bytes chunk(const char* id, const Bytes& data, std::int64_t claimedSize = -1) {
    Bytes out(id, id + 4);
    put(out, std::uint32_t(claimedSize >= 0 ? claimedSize : std::int64_t(data.size())), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline Bytes pointsChunk(const std::vector<Vector3>& points) {
    Bytes data;
    for (const Vector3& p : points) {
        for (float value : {p.x, p.y, p.z}) {
            std::uint32_t bits;
            put(data, (std::memcpy(&bits, &value, 4), bits), 4);
        }
    }
    return chunk("PNTS", data);
}

inline Bytes polygonsChunk(const std::vector<std::vector<std::uint16_t>>& polygons) {
    Bytes data;
    for (const auto& polygon : polygons) {
        put(data, std::uint32_t(polygon.size()), 2);
        for (std::uint16_t index : polygon) {
            put(data, index, 2);
        }
        put(data, 1, 2);
    }
    return chunk("POLS", data);
}

inline Bytes form(const std::vector<Bytes>& chunks, std::int64_t claimedSize = -1) {
    Bytes data = {'L', 'W', 'O', 'B'};
    for (const Bytes& c : chunks) {
        data.insert(data.end(), c.begin(), c.end());
    }
    return chunk("FORM", data, claimedSize);
}

inline Bytes objectFile(const MeshData& mesh) {
    return form({pointsChunk(mesh.points), polygonsChunk(mesh.faces)});
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
