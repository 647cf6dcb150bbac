#pragma once

// The test meshes loaded as the scene loads its own (shaded and edge-linked),
// and arena polygons built from and checked against coordinate lists.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "scene/scene_constants.h"
#include "tests/object_files.h"
#include "tests/support.h"

namespace render_meshes {

// Loads, shades and edge-links the mesh into object; false on any failure.
inline bool loadMesh(SceneObject& object, const MeshData& mesh, const std::string& name) {
    const std::string path = testing_support::scratchPath(name + ".lwo");
    return testing_support::writeFile(path, objectFile(mesh)) && object.loadLwo(path.c_str()) &&
           (object.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor()),
            object.buildEdges());
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
