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
            const std::int32_t n = polygon->vertexCount;
            Point2** v = polygon->vertices;
            if (n <= 0) {
                previous = polygon;
                polygon = following;
                continue;
            }
            const bool firstInside = isInside(line, v[0]);
            // o: first vertex on the other side of the edge than v[0].
            std::int32_t o = 1;
            while (o < n && isInside(line, v[o]) == firstInside) {
                ++o;
            }
            if (o == n) {
                if (!firstInside) {
                    // Wholly outside: the node moves over and meets no later edge.
                    if (previous) {
                        previous->next = following;
                    } else {
                        inside.head = following;
                    }
                    --inside.count;
                    pushFront(outside, polygon);
                } else {
                    previous = polygon;
                }
                polygon = following;
                continue;
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
                return giveUp();
            }
            Point2* const a = crossing(line, v[o - 1], v[o]);
            Point2* const b = crossing(line, v[t - 1], v[t < n ? t : 0]);

            // The piece on v[0]'s side is v[0..o-1], A, B, v[t..n-1]; the other
            // is A, v[o..t-1], B. Both keep the polygon's vertex order.
            Polygon* const piece = frameArena.newPolygon();
            piece->allocateVertices(pieceSize);
            Point2** out = piece->vertices;
            if (firstInside) {
                *out++ = a;
                for (std::int32_t i = o; i < t; ++i) {
                    *out++ = v[i];
                }
                *out++ = b;
            } else {
                for (std::int32_t i = 0; i < o; ++i) {
                    *out++ = v[i];
                }
                *out++ = a;
                *out++ = b;
                for (std::int32_t i = t; i < n; ++i) {
                    *out++ = v[i];
                }
            }
            pushFront(outside, piece);

            // The kept part is rewritten front to back: every vertex moves to
            // the same or a lower index, so nothing is overwritten before it
            // is read. Only a polygon that grows needs fresh slots.
            Point2** kept = v;
            if (grows) {
                polygon->allocateVertices(keptSize);
                kept = polygon->vertices;
            }
            out = kept;
            if (firstInside) {
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
            polygon->vertexCount = keptSize;
            previous = polygon;
            polygon = following;
        }
    }
    return true;
}
