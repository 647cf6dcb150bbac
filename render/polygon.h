#pragma once

#include <algorithm>
#include <cstdint>

#include "math/point2.h"

struct Face;

// A directed edge standing for its right-hand half-plane, with the frame's
// line it lies on (-1: none known, the clipper makes one).
struct Edge2 {
    Point2* from = nullptr;
    Point2* to = nullptr;
    std::int32_t line = -1;
};

// One node of a chain of convex polygons, wound clockwise (interior on the
// right of every edge). Nodes, slots and points all belong to the frame arena.
struct Polygon {
    std::int32_t vertexCount = 0;
    // Set once the polygon gained points on its edges: runs of its vertices
    // lie on one line, where a fan from vertex 0 would fold over itself, so
    // it is drawn as a fan round its centre (fanCentre) instead.
    bool fanFromCentre = false;
    Point2** vertices = nullptr;
    Face* face = nullptr;  // set by the projection only
    Polygon* next = nullptr;

    // Takes n fresh slots from the frame arena; the old ones are abandoned.
    // False (and no vertices) when the arena cannot hold them.
    bool allocateVertices(std::int32_t n);
    // Fresh slots holding the source's point pointers; face and next untouched.
    bool copyFrom(const Polygon& source);
    // Writes the vertexCount edges (closing edge last) with their lines; the
    // table must hold them.
    std::int32_t listEdges(Edge2* edges) const;
};

// The mean of the polygon's vertices: inside it, off every edge.
inline Point2 fanCentre(const Polygon& polygon) {
    float x = 0.0f;
    float y = 0.0f;
    for (std::int32_t i = 0; i < polygon.vertexCount; ++i) {
        x += polygon.vertices[i]->x;
        y += polygon.vertices[i]->y;
    }
    const float scale = polygon.vertexCount > 0 ? 1.0f / float(polygon.vertexCount) : 0.0f;
    return Point2{x * scale, y * scale};
}

// The vertices of the fan that draws a polygon (see Fan).
inline std::int32_t fanSize(const Polygon& polygon) {
    return polygon.fanFromCentre && polygon.vertexCount >= 3 ? polygon.vertexCount + 2
                                                             : std::max(polygon.vertexCount, 0);
}

// The area a chain of polygons covers in the projected plane, whichever way
// each is wound.
inline float coveredArea(const Polygon* head) {
    float area = 0.0f;
    for (const Polygon* polygon = head; polygon; polygon = polygon->next) {
        float twice = 0.0f;
        for (std::int32_t i = 0; i < polygon->vertexCount; ++i) {
            const Point2& a = *polygon->vertices[i];
            const Point2& b = *polygon->vertices[i + 1 < polygon->vertexCount ? i + 1 : 0];
            twice += a.x * b.y - b.x * a.y;
        }
        area += 0.5f * (twice < 0.0f ? -twice : twice);
    }
    return area;
}

// The upright box round some points of the projected plane; empty until a
// point is added.
struct Bounds {
    float left = 3.0e38f;
    float bottom = 3.0e38f;
    float right = -3.0e38f;
    float top = -3.0e38f;

    void add(const Point2& point) {
        left = std::min(left, point.x);
        right = std::max(right, point.x);
        bottom = std::min(bottom, point.y);
        top = std::max(top, point.y);
    }
    // Apart by more than kApartMargin along x or y: no cut by the edges of
    // one changes anything of the other. The clipper counts a point up to
    // 0.00001 outside an edge as on it; the margin is ten times that.
    static constexpr float kApartMargin = 0.0001f;
    bool isApartFrom(const Bounds& other) const {
        return other.left - right > kApartMargin || left - other.right > kApartMargin ||
               other.bottom - top > kApartMargin || bottom - other.top > kApartMargin;
    }
};

inline Bounds boundsOf(const Polygon& polygon) {
    Bounds bounds;
    for (std::int32_t i = 0; i < polygon.vertexCount; ++i) {
        bounds.add(*polygon.vertices[i]);
    }
    return bounds;
}

// The triangle fan that draws a polygon: its vertices in order, or, once it
// gained points on its edges, its centre, its vertices and its first vertex
// again.
struct Fan {
    const Polygon& polygon;
    bool centred;
    Point2 centre;

    explicit Fan(const Polygon& p)
        : polygon(p),
          centred(p.fanFromCentre && p.vertexCount >= 3),
          centre(centred ? fanCentre(p) : Point2{}) {}
    std::int32_t size() const { return fanSize(polygon); }
    const Point2& operator[](std::int32_t k) const {
        if (!centred) {
            return *polygon.vertices[k];
        }
        return k == 0 ? centre : *polygon.vertices[k <= polygon.vertexCount ? k - 1 : 0];
    }
};

// A chain of polygons that owns nothing.
struct PolygonList {
    std::int32_t count = 0;
    Polygon* head = nullptr;

    PolygonList() = default;
    ~PolygonList() { clear(); }

    void clear() {
        count = 0;
        head = nullptr;
    }

    // Same polygons in the same order, fresh nodes and slots, shared points.
    // False (and an empty list) when the arena cannot hold the copy.
    bool copyFrom(const PolygonList& source);
    // Fresh nodes for the polygons of source whose box is not apart from
    // near, sharing their slots: a list to clip (the clip copies the slots
    // it cuts), never to cut in place. False (and an empty list) when the
    // arena cannot hold the nodes.
    bool shareNear(const PolygonList& source, const Bounds& near);

    // Splits every polygon by the convex region that is the intersection of
    // the edges' right-hand half-planes. This list is never written. Returns
    // false when the arena ran out part way: inside is then empty and outside
    // holds this list's own polygons, so nothing is lost and nothing is drawn
    // twice.
    bool clip(const Edge2* edges, std::int32_t edgeCount, PolygonList& inside,
              PolygonList& outside) const;
    // The inside alone, as clip gives it: the outside pieces are not made,
    // which spares their nodes and slots when no one draws them.
    bool clipInside(const Edge2* edges, std::int32_t edgeCount, PolygonList& inside) const;

private:
    bool cut(const Edge2* edges, std::int32_t edgeCount, PolygonList& inside,
             PolygonList* outside) const;
};
