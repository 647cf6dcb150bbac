#pragma once

// Small closed meshes for the renderer tests, written as object files and
// read back through the real reader so they are built like the shipped ones;
// and arena polygons built from and checked against coordinate lists.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "assets/scene_object.h"
#include "math/vector3.h"
#include "render/frame_arena.h"
#include "scene/scene_constants.h"
#include "tests/support.h"

namespace render_meshes {

struct MeshData {
    std::vector<Vector3> points;
    std::vector<std::vector<std::uint16_t>> faces;
};

// Big-endian, size bytes.
inline void put(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8) {
        bytes.push_back(std::uint8_t(value >> shift));
    }
}

inline void putChunk(std::vector<std::uint8_t>& bytes, const char* id,
                     const std::vector<std::uint8_t>& body) {
    bytes.insert(bytes.end(), id, id + 4);
    put(bytes, std::uint32_t(body.size()), 4);
    bytes.insert(bytes.end(), body.begin(), body.end());
}

// Loads, shades and edge-links the mesh into object; false on any failure.
inline bool loadMesh(SceneObject& object, const MeshData& mesh, const std::string& name) {
    std::vector<std::uint8_t> pnts;
    for (const Vector3& p : mesh.points) {
        for (float value : {p.x, p.y, p.z}) {
            std::uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            put(pnts, bits, 4);
        }
    }
    std::vector<std::uint8_t> pols;
    for (const auto& face : mesh.faces) {
        put(pols, std::uint32_t(face.size()), 2);
        for (std::uint16_t index : face) {
            put(pols, index, 2);
        }
        put(pols, 1, 2);  // surface
    }
    std::vector<std::uint8_t> form = {'L', 'W', 'O', 'B'};
    putChunk(form, "PNTS", pnts);
    putChunk(form, "POLS", pols);
    std::vector<std::uint8_t> bytes;
    putChunk(bytes, "FORM", form);
    const std::string path = testing_support::scratchPath(name + ".lwo");
    if (!testing_support::writeFile(path, bytes) || !object.loadLwo(path.c_str())) {
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

using Points = std::vector<std::pair<float, float>>;

inline Polygon* makePolygon(const Points& points) {
    Polygon* p = frameArena.newPolygon();
    p->next = nullptr;
    p->allocateVertices(std::int32_t(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        p->vertices[i] = frameArena.newPoint(points[i].first, points[i].second);
    }
    return p;
}

inline void expectPolygon(const Polygon* p, const Points& expected) {
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->vertexCount, std::int32_t(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(p->vertices[i]->x, expected[i].first, 1e-5f) << "vertex " << i;
        EXPECT_NEAR(p->vertices[i]->y, expected[i].second, 1e-5f) << "vertex " << i;
    }
}

// Of the polygons from first up to end; clockwise is positive.
inline double area(const Polygon* first, const Polygon* end = nullptr) {
    double twice = 0.0;
    for (const Polygon* p = first; p != end; p = p->next) {
        for (int i = 0; i < p->vertexCount; ++i) {
            const Point2* a = p->vertices[i];
            const Point2* b = p->vertices[(i + 1) % p->vertexCount];
            twice -= double(a->x) * b->y - double(b->x) * a->y;
        }
    }
    return 0.5 * twice;
}

}  // namespace render_meshes
