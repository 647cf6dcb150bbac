#include "assets/convexity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "assets/scene_object.h"

namespace {

// Points a rounding error off a plane still count as on it.
float convexTolerance(const SceneObject& object) {
    float extent = 0.0f;
    for (std::int32_t p = 0; p < object.pointCount; ++p) {
        const Vector3& v = object.points[p].position;
        extent = std::max({extent, std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    }
    return 1e-5f * (extent + 1.0f);
}

float inFront(const Vector3& point, const Face& face) {
    return point.dot(face.planeNormal) - face.planeDistance;
}

// Every face has a plane, and none of its own vertices lies behind it.
bool facesHavePlanes(const SceneObject& object, float tolerance) {
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        if (face.vertexCount < 3 || face.planeNormal.dot(face.planeNormal) < 0.5f) {
            return false;
        }
        for (std::int32_t i = 0; i < face.vertexCount; ++i) {
            if (!(inFront(face.vertices[i]->position, face) >= -tolerance)) {
                return false;
            }
        }
    }
    return true;
}

// Every point against every face's plane.
bool noPointInFront(const SceneObject& object, float tolerance) {
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        for (std::int32_t p = 0; p < object.pointCount; ++p) {
            if (!(inFront(object.points[p].position, object.faces[f]) <= tolerance)) {
                return false;
            }
        }
    }
    return true;
}

// The points joined by the faces' sides: point p's neighbours are
// neighbour[first[p]] .. neighbour[first[p + 1] - 1].
struct PointGraph {
    std::unique_ptr<std::int32_t[]> first;
    std::unique_ptr<std::int32_t[]> neighbour;

    // False when there is no memory for it.
    bool build(const SceneObject& object);
    // Whether every point is reached from the first face's first vertex.
    bool joinsEveryPoint(const SceneObject& object) const;
};

bool PointGraph::build(const SceneObject& object) {
    std::int64_t sides = 0;
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        sides += object.faces[f].vertexCount;
    }
    first.reset(new (std::nothrow) std::int32_t[std::size_t(object.pointCount) + 1]());
    neighbour.reset(new (std::nothrow) std::int32_t[std::size_t(2 * sides)]);
    if (!first || !neighbour) {
        return false;
    }
    // Counts first, each side both ways, then the lists filled back to front.
    const auto eachSide = [&object](auto visit) {
        for (std::int32_t f = 0; f < object.faceCount; ++f) {
            const Face& face = object.faces[f];
            for (std::int32_t k = 0; k < face.vertexCount; ++k) {
                const auto a = std::int32_t(face.vertices[k] - object.points);
                const auto b =
                    std::int32_t(face.vertices[(k + 1) % face.vertexCount] - object.points);
                visit(a, b);
                visit(b, a);
            }
        }
    };
    eachSide([this](std::int32_t a, std::int32_t) { ++first[a + 1]; });
    for (std::int32_t p = 0; p < object.pointCount; ++p) {
        first[p + 1] += first[p];
    }
    std::unique_ptr<std::int32_t[]> fill(new (std::nothrow) std::int32_t[object.pointCount]);
    if (!fill) {
        return false;
    }
    std::copy(first.get(), first.get() + object.pointCount, fill.get());
    eachSide([this, &fill](std::int32_t a, std::int32_t b) { neighbour[fill[a]++] = b; });
    return true;
}

bool PointGraph::joinsEveryPoint(const SceneObject& object) const {
    std::unique_ptr<std::int32_t[]> stack(new (std::nothrow) std::int32_t[object.pointCount]);
    std::unique_ptr<bool[]> seen(new (std::nothrow) bool[object.pointCount]());
    if (!stack || !seen) {
        return false;
    }
    std::int32_t depth = 0;
    std::int32_t reached = 1;
    stack[depth++] = std::int32_t(object.faces[0].vertices[0] - object.points);
    seen[stack[0]] = true;
    while (depth > 0) {
        const std::int32_t p = stack[--depth];
        for (std::int32_t i = first[p]; i < first[p + 1]; ++i) {
            if (!seen[neighbour[i]]) {
                seen[neighbour[i]] = true;
                stack[depth++] = neighbour[i];
                ++reached;
            }
        }
    }
    return reached == object.pointCount;
}

// Whether every climb from the face's vertices, always to the highest
// neighbour while one is higher, stays on or behind its plane.
bool climbsStayBehind(const SceneObject& object, const PointGraph& graph, const Face& face,
                      float tolerance) {
    for (std::int32_t k = 0; k < face.vertexCount; ++k) {
        auto at = std::int32_t(face.vertices[k] - object.points);
        float height = inFront(object.points[at].position, face);
        for (std::int32_t highest = -1; highest != at;) {
            if (!(height <= tolerance)) {
                return false;
            }
            highest = at;
            for (std::int32_t i = graph.first[highest]; i < graph.first[highest + 1]; ++i) {
                const float h = inFront(object.points[graph.neighbour[i]].position, face);
                if (h > height) {
                    at = graph.neighbour[i];
                    height = h;
                }
            }
        }
    }
    return true;
}

bool allFinite(const SceneObject& object) {
    for (std::int32_t p = 0; p < object.pointCount; ++p) {
        const Vector3& v = object.points[p].position;
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool meshIsConvex(const SceneObject& object) {
    if (object.faceCount <= 0) {
        return false;
    }
    const float tolerance = convexTolerance(object);
    if (!facesHavePlanes(object, tolerance)) {
        return false;
    }
    PointGraph graph;
    if (!allFinite(object) || !graph.build(object) || !graph.joinsEveryPoint(object)) {
        return noPointInFront(object, tolerance);
    }
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        if (!climbsStayBehind(object, graph, object.faces[f], tolerance)) {
            return false;
        }
    }
    return true;
}
