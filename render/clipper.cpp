#include "render/frame_arena.h"

namespace {

// Points up to this far left of an edge (scaled by its length) still count as
// inside, so shared edges of neighbouring faces do not leave hairline gaps.
constexpr float kInsideTolerance = -0.00001f;

struct EdgeLine {
    float p;
    float q;
    float r;
};

EdgeLine lineOf(const Edge2& edge) {
    EdgeLine line;
    line.p = edge.to->y - edge.from->y;
    line.q = -(edge.to->x - edge.from->x);
    line.r = line.p * edge.from->x + line.q * edge.from->y;
    return line;
}

// The side value is compared unrounded (wider than float); NaN is outside.
bool isInside(const EdgeLine& line, const Point2* v) {
    const double side = (static_cast<double>(line.q) * v->y + static_cast<double>(line.p) * v->x) -
                        static_cast<double>(line.r);
    return side >= static_cast<double>(kInsideTolerance);
}

// The arena room was reserved before the cut, so this cannot fail.
Point2* crossing(const EdgeLine& line, const Point2* from, const Point2* to) {
    const float a = line.p * from->x + line.q * from->y;
    const float b = line.p * to->x + line.q * to->y;
    const float lambda = (a - line.r) / (a - b);
    const float mu = 1.0f - lambda;
    return frameArena.newPoint(mu * from->x + lambda * to->x, mu * from->y + lambda * to->y);
}

void pushFront(PolygonList& list, Polygon* polygon) {
    polygon->next = list.head;
    list.head = polygon;
    ++list.count;
}

// Writes one side of a cut polygon into out: the side of v[0] is
// v[0..o-1], A, B, v[t..n-1]; the other is A, v[o..t-1], B. Both keep the
// polygon's vertex order. Every vertex moves to the same or a lower index,
// so out may be v itself: nothing is overwritten before it is read.
void writeSide(Point2** out, Point2* const* v, std::int32_t n, std::int32_t o, std::int32_t t,
               Point2* a, Point2* b, bool sideOfFirst) {
    if (sideOfFirst) {
        for (std::int32_t i = 0; i < o; ++i) {
            *out++ = v[i];
        }
        *out++ = a;
        *out++ = b;
        for (std::int32_t i = t; i < n; ++i) {
            *out++ = v[i];
        }
    } else {
        *out++ = a;
        for (std::int32_t i = o; i < t; ++i) {
            *out++ = v[i];
        }
        *out++ = b;
    }
}

enum class Cut { Kept, MovedOut, Split, OutOfRoom };

// Cuts one polygon of the inside list by one edge: the part outside goes to
// the head of outside, the polygon keeps the part inside. MovedOut: the
// whole polygon is outside and the caller unlinks it.
Cut cutPolygon(const EdgeLine& line, Polygon* polygon, PolygonList& outside) {
    const std::int32_t n = polygon->vertexCount;
    Point2** v = polygon->vertices;
    if (n <= 0) {
        return Cut::Kept;
    }
    const bool firstInside = isInside(line, v[0]);
    // o: first vertex on the other side of the edge than v[0].
    std::int32_t o = 1;
    while (o < n && isInside(line, v[o]) == firstInside) {
        ++o;
    }
    if (o == n) {
        return firstInside ? Cut::Kept : Cut::MovedOut;
    }
    // t: first vertex after o back on v[0]'s side, or n.
    std::int32_t t = o + 1;
    while (t < n && isInside(line, v[t]) != firstInside) {
        ++t;
    }
    const std::int32_t run = t - o;
    const std::int32_t pieceSize = firstInside ? run + 2 : n - run + 2;
    const std::int32_t keptSize = firstInside ? n - run + 2 : run + 2;
    const bool grows = keptSize > n;
    if (!frameArena.hasRoom(1, 2, pieceSize + (grows ? keptSize : 0))) {
        return Cut::OutOfRoom;
    }
    Point2* const a = crossing(line, v[o - 1], v[o]);
    Point2* const b = crossing(line, v[t - 1], v[t < n ? t : 0]);
    Polygon* const piece = frameArena.newPolygon();
    piece->allocateVertices(pieceSize);
    writeSide(piece->vertices, v, n, o, t, a, b, !firstInside);
    pushFront(outside, piece);
    // Only a polygon that grows needs fresh slots.
    if (grows) {
        polygon->allocateVertices(keptSize);
    }
    writeSide(polygon->vertices, v, n, o, t, a, b, firstInside);
    polygon->vertexCount = keptSize;
    return Cut::Split;
}

}  // namespace

bool PolygonList::clip(const Edge2* edges, std::int32_t edgeCount, PolygonList& inside,
                       PolygonList& outside) const {
    inside.clear();
    outside.clear();
    // Out of arena room: nothing counts as inside, and the untouched source
    // stands for everything outside, so the caller sees a consistent split.
    auto giveUp = [&]() {
        inside.clear();
        outside.count = count;
        outside.head = head;
        return false;
    };
    if (!inside.copyFrom(*this)) {
        return giveUp();
    }
    for (std::int32_t e = 0; e < edgeCount && inside.count > 0; ++e) {
        const EdgeLine line = lineOf(edges[e]);
        Polygon* previous = nullptr;
        Polygon* polygon = inside.head;
        while (polygon) {
            Polygon* const following = polygon->next;
            const Cut cut = cutPolygon(line, polygon, outside);
            if (cut == Cut::OutOfRoom) {
                return giveUp();
            }
            if (cut == Cut::MovedOut) {
                // Wholly outside: the node moves over and meets no later edge.
                (previous ? previous->next : inside.head) = following;
                --inside.count;
                pushFront(outside, polygon);
            } else {
                previous = polygon;
            }
            polygon = following;
        }
    }
    return true;
}
