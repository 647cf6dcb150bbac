#include "assets/scene_object.h"
#include "render/frame_arena.h"

bool SceneObject::markPointsInFront(Vector3 planeNormal, float planeDistance) {
    bool any = false;
    for (std::int32_t i = 0; i < pointCount; ++i) {
        const Vector3& p = points[i].position;
        const float d = p.x * planeNormal.x + p.y * planeNormal.y + p.z * planeNormal.z;
        const bool inFront = d >= planeDistance;  // NaN counts as behind
        points[i].projected = inFront ? 1 : 0;
        any = any || inFront;
    }
    return any;
}

bool SceneObject::markFrontFaces(Vector3 eye) {
    bool any = false;
    for (std::int32_t i = 0; i < faceCount; ++i) {
        Face& face = faces[i];
        const bool front = eye.dot(face.planeNormal) >= face.planeDistance;
        face.frontFacing = front ? 1 : 0;
        any = any || front;
    }
    return any;
}

namespace {

Point2* pointOf(const Vertex* vertex) {
    return reinterpret_cast<Point2*>(vertex->projected);
}

bool isInFront(const Vertex* vertex) {
    return vertex->projected != 0;
}

// Only called with exactly one end in front, so the denominator is not zero.
Point2* planeCrossing(const Matrix& matrix, const Vector3& planeNormal, float planeDistance,
                      const Vector3& a, const Vector3& b) {
    const float dA = a.dot(planeNormal);
    const float dB = b.dot(planeNormal);
    const float t = (dA - planeDistance) / (dA - dB);
    const float s = 1.0f - t;
    Point2* point = frameArena.newPoint(0.0f, 0.0f);
    matrix.projectPoint(Vector3(s * a.x + t * b.x, s * a.y + t * b.y, s * a.z + t * b.z), *point);
    return point;
}

// One point per vertex in front and per crossing edge, one node and at most
// n + 1 slots per front face: reserved up front so the projection never stops
// half way.
bool reserveProjection(const SceneObject& object) {
    std::int32_t pointsNeeded = 0;
    for (std::int32_t i = 0; i < object.pointCount; ++i) {
        pointsNeeded += object.points[i].projected != 0 ? 1 : 0;
    }
    for (std::int32_t i = 0; i < object.edgeCount; ++i) {
        const Edge& edge = object.edges[i];
        pointsNeeded += isInFront(edge.vertexA) != isInFront(edge.vertexB) ? 1 : 0;
    }
    std::int32_t polygonsNeeded = 0;
    std::int32_t slotsNeeded = 0;
    for (std::int32_t i = 0; i < object.faceCount; ++i) {
        if (object.faces[i].frontFacing) {
            ++polygonsNeeded;
            slotsNeeded += object.faces[i].vertexCount + 1;
        }
    }
    return frameArena.hasRoom(polygonsNeeded, pointsNeeded, slotsNeeded);
}

void projectPoints(SceneObject& object, const Matrix& matrix) {
    for (std::int32_t i = 0; i < object.pointCount; ++i) {
        if (object.points[i].projected != 0) {
            Point2* point = frameArena.newPoint(0.0f, 0.0f);
            matrix.projectPoint(object.points[i].position, *point);
            object.points[i].projected = reinterpret_cast<std::uintptr_t>(point);
        }
    }
}

// The silhouette edges into outline, and the plane crossing of every edge
// with one end behind the plane; the number of outline edges written.
int outlineEdges(SceneObject& object, const Matrix& matrix, const Vector3& planeNormal,
                 float planeDistance, Edge2* outline) {
    int k = 0;
    for (std::int32_t i = 0; i < object.edgeCount; ++i) {
        Edge& edge = object.edges[i];
        edge.crossing = nullptr;
        edge.silhouette = edge.faceA->frontFacing != edge.faceB->frontFacing ? 1 : 0;
        // Run along the front face so the outline winds like the faces.
        const bool forward = !edge.silhouette || edge.faceA->frontFacing;
        const Vertex* a = forward ? edge.vertexA : edge.vertexB;
        const Vertex* b = forward ? edge.vertexB : edge.vertexA;
        if (isInFront(a) != isInFront(b)) {
            edge.crossing =
                planeCrossing(matrix, planeNormal, planeDistance, a->position, b->position);
        }
        Point2* from = isInFront(a) ? pointOf(a) : edge.crossing;
        Point2* to = isInFront(b) ? pointOf(b) : edge.crossing;
        // One line for the outline edge and both faces' edges along it, so
        // their cuts share points.
        edge.line = (edge.faceA->frontFacing || edge.faceB->frontFacing) && from != to
                        ? frameArena.lines.newLine(from, to)
                        : -1;
        if (edge.silhouette && (isInFront(a) || isInFront(b))) {
            outline[k++] = Edge2{from, to, edge.line};
        }
    }
    return k;
}

// Writes a face polygon's vertices with the line of the edge from each.
struct FaceWriter {
    Point2** out;
    std::int32_t* lines;

    void put(Point2* point, std::int32_t line) {
        *out++ = point;
        *lines++ = line;
    }
};

// The part of a front face in front of the plane, in the face's order: i0
// and i1 are its two cut edges (i1 < 0 when it is not cut), joined by a
// line of their own.
Polygon* frontPolygon(Face& face, std::int32_t i0, std::int32_t i1) {
    const std::int32_t n = face.vertexCount;
    const bool firstInFront = isInFront(face.vertices[0]);
    Polygon* polygon = frameArena.newPolygon();
    polygon->face = &face;
    polygon->allocateVertices(firstInFront ? (i1 >= 0 ? i0 + n - i1 + 2 : n) : i1 - i0 + 2);
    FaceWriter w{polygon->vertices, frameArena.linesOf(polygon->vertices)};
    const auto edgeLine = [&](std::int32_t i) { return face.edges[i]->line; };
    if (i1 < 0) {
        for (std::int32_t i = 0; i < n; ++i) {
            w.put(pointOf(face.vertices[i]), edgeLine(i));
        }
        return polygon;
    }
    Point2* c0 = face.edges[i0]->crossing;
    Point2* c1 = face.edges[i1]->crossing;
    const std::int32_t chord = frameArena.lines.newLine(c0, c1);
    if (firstInFront) {
        for (std::int32_t i = 0; i <= i0; ++i) {
            w.put(pointOf(face.vertices[i]), edgeLine(i));
        }
        w.put(c0, chord);
        w.put(c1, edgeLine(i1));
        for (std::int32_t i = i1 + 1; i < n; ++i) {
            w.put(pointOf(face.vertices[i]), edgeLine(i));
        }
    } else {
        w.put(c0, edgeLine(i0));
        for (std::int32_t i = i0 + 1; i <= i1; ++i) {
            w.put(pointOf(face.vertices[i]), edgeLine(i));
        }
        w.put(c1, chord);
    }
    return polygon;
}

// Every front face's polygon onto facePolygons (newest first); every cut back
// face closes the outline along its cut. Returns the outline's new length.
int facePolygonsOf(SceneObject& object, PolygonList& facePolygons, Edge2* outline, int k) {
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        Face& face = object.faces[f];
        const std::int32_t n = face.vertexCount;
        if (n <= 0) {
            continue;
        }
        std::int32_t i0 = -1;
        std::int32_t i1 = -1;
        for (std::int32_t e = 0; e < n && i1 < 0; ++e) {
            if (face.edges[e]->crossing) {
                (i0 < 0 ? i0 : i1) = e;
            }
        }
        const bool firstInFront = isInFront(face.vertices[0]);
        if (!face.frontFacing) {
            if (i1 >= 0) {
                // Closes the outline along the cut, against the face's own order.
                Point2* c0 = face.edges[i0]->crossing;
                Point2* c1 = face.edges[i1]->crossing;
                Point2* from = firstInFront ? c1 : c0;
                Point2* to = firstInFront ? c0 : c1;
                outline[k++] = Edge2{from, to, frameArena.lines.newLine(from, to)};
            }
            continue;
        }
        if (!firstInFront && i1 < 0) {
            continue;  // wholly behind the plane
        }
        Polygon* polygon = frontPolygon(face, i0, i1);
        // A face that is not convex can be cut more than twice; a vertex
        // behind the plane would then leave a hole in the polygon. Such a
        // face is dropped rather than drawn from a null point.
        bool complete = true;
        for (std::int32_t i = 0; i < polygon->vertexCount; ++i) {
            complete = complete && polygon->vertices[i] != nullptr;
        }
        if (complete) {
            polygon->next = facePolygons.head;
            facePolygons.head = polygon;
            ++facePolygons.count;
        }
    }
    return k;
}

}  // namespace

// The caller's outline table must hold edgeCount + faceCount entries: one per
// silhouette edge plus one per cut back face at most.
int SceneObject::projectFaces(const Matrix& matrix, Vector3 planeNormal, float planeDistance,
                              PolygonList& facePolygons, Edge2* outline) {
    facePolygons.clear();
    if (!reserveProjection(*this)) {
        return 0;
    }
    projectPoints(*this, matrix);
    const int k = outlineEdges(*this, matrix, planeNormal, planeDistance, outline);
    return facePolygonsOf(*this, facePolygons, outline, k);
}
