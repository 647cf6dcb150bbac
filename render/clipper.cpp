#include <algorithm>
#include <cmath>

#include "render/frame_arena.h"

namespace {

// Points up to this far left of an edge (scaled by its length) still count as
// inside, so shared edges of neighbouring faces do not leave hairline gaps.
constexpr float kInsideTolerance = -0.00001f;

constexpr std::int32_t kNotLookedUp = -2;

struct EdgeLine {
    float p;
    float q;
    float r;
    std::int32_t index;  // in the frame's line table, -1 unknown
};

EdgeLine lineOf(const Point2* from, const Point2* to) {
    EdgeLine line;
    line.p = to->y - from->y;
    line.q = -(to->x - from->x);
    line.r = line.p * from->x + line.q * from->y;
    line.index = kNotLookedUp;
    return line;
}

// The side value is compared unrounded (wider than float); NaN is outside.
bool isInside(const EdgeLine& line, const Point2* v) {
    const double side = (static_cast<double>(line.q) * v->y + static_cast<double>(line.p) * v->x) -
                        static_cast<double>(line.r);
    return side >= static_cast<double>(kInsideTolerance);
}

// The arena room was reserved before the cut, so this cannot fail.
Point2* crossingPoint(const EdgeLine& line, const Point2* from, const Point2* to) {
    const float a = line.p * from->x + line.q * from->y;
    const float b = line.p * to->x + line.q * to->y;
    const float lambda = (a - line.r) / (a - b);
    const float mu = 1.0f - lambda;
    return frameArena.newPoint(mu * from->x + lambda * to->x, mu * from->y + lambda * to->y);
}

// Where the cut meets the edge from `from` to `to`, which lies on line
// `along`. Made once per pair of lines and from the lines' own defining
// points, never from the piece of edge at hand: every piece cut by the same
// line along the same edge line then shares one point, and two lines through
// one point meet at that very point. So neighbouring pieces, and sibling
// faces' windows, meet at shared vertices.
// True when x lies on the segment from p to q, give or take a thousandth of
// it: a cut nearly along the edge's line meets it far away.
bool onSegment(const Point2* x, const Point2* p, const Point2* q) {
    const float margin = 0.001f * (std::fabs(q->x - p->x) + std::fabs(q->y - p->y)) + 1e-6f;
    return x->x >= std::min(p->x, q->x) - margin && x->x <= std::max(p->x, q->x) + margin &&
           x->y >= std::min(p->y, q->y) - margin && x->y <= std::max(p->y, q->y) + margin;
}

Point2* crossing(const EdgeLine& cut, Point2* from, Point2* to, std::int32_t along) {
    LineTable& table = frameArena.lines;
    Point2* shared = nullptr;
    Point2** known = nullptr;
    if (along >= 0 && along < table.lineCount && cut.index >= 0 && along != cut.index &&
        !table.full) {
        const LineTable::Line& edge = table.lines[along];
        const LineTable::Line& cutter = table.lines[cut.index];
        if (edge.a == cutter.a || edge.a == cutter.b) {
            shared = edge.a;
        } else if (edge.b == cutter.a || edge.b == cutter.b) {
            shared = edge.b;
        } else {
            known = table.crossingOf(along, cut.index);
            if (known && !*known) {
                const float a = cut.p * edge.a->x + cut.q * edge.a->y;
                const float b = cut.p * edge.b->x + cut.q * edge.b->y;
                if (a != b) {
                    *known = crossingPoint(cut, edge.a, edge.b);
                    table.addMember(along, *known);
                    table.addMember(cut.index, *known);
                }
            }
            shared = known ? *known : nullptr;
        }
    }
    if (shared && onSegment(shared, from, to)) {
        return shared;
    }
    // Made from the edge itself: a point of both lines all the same.
    Point2* made = crossingPoint(cut, from, to);
    if (along >= 0 && along < table.lineCount) {
        table.addMember(along, made);
    }
    if (cut.index >= 0 && cut.index != along) {
        table.addMember(cut.index, made);
    }
    return made;
}

void pushFront(PolygonList& list, Polygon* polygon) {
    polygon->next = list.head;
    list.head = polygon;
    ++list.count;
}

// One cut of a polygon: v[o..t-1] is the run on the other side of the line
// than v[0], A and B the crossings on the edges into and out of it.
struct Cutting {
    Point2* const* v;
    const std::int32_t* lines;  // the line of each edge, beside v
    std::int32_t n;
    std::int32_t o;
    std::int32_t t;
    Point2* a;
    Point2* b;
    std::int32_t cutLine;
};

// Writes one side of a cut polygon, with the line of each of its edges: the
// side of v[0] is v[0..o-1], A, B, v[t..n-1]; the other is A, v[o..t-1], B.
// An edge into or out of a crossing lies on the line of the edge it was cut
// from, the edge between A and B on the cut's.
// Both keep the polygon's vertex order. Every vertex and line moves to the
// same or a lower index, so out may be v itself (when the side is not longer
// than the polygon): nothing is overwritten before it is read.
void writeSide(Point2** out, std::int32_t* outLines, const Cutting& c, bool sideOfFirst) {
    const std::int32_t into = c.lines[c.o - 1];  // the edge v[o-1] -> v[o]
    const std::int32_t outOf = c.lines[c.t - 1];
    if (sideOfFirst) {
        for (std::int32_t i = 0; i < c.o; ++i) {
            *out++ = c.v[i];
            *outLines++ = c.lines[i];
        }
        *out++ = c.a;
        *outLines++ = c.cutLine;
        *out++ = c.b;
        *outLines++ = outOf;
        for (std::int32_t i = c.t; i < c.n; ++i) {
            *out++ = c.v[i];
            *outLines++ = c.lines[i];
        }
    } else {
        *out++ = c.a;
        *outLines++ = into;
        for (std::int32_t i = c.o; i < c.t; ++i) {
            *out++ = c.v[i];
            *outLines++ = c.lines[i];
        }
        *out++ = c.b;
        *outLines++ = c.cutLine;
    }
}

enum class Cut { Kept, MovedOut, Split, OutOfRoom };

// Cuts one polygon of the inside list by one edge: the part outside goes to
// the head of outside, the polygon keeps the part inside. MovedOut: the
// whole polygon is outside and the caller unlinks it.
Cut cutPolygon(EdgeLine& line, const Edge2& edge, Polygon* polygon, PolygonList& outside) {
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
    // Each crossing may take two points: the shared one and one of its own.
    if (!frameArena.hasRoom(1, 4, pieceSize + (grows ? keptSize : 0))) {
        return Cut::OutOfRoom;
    }
    const std::int32_t* lines = frameArena.linesOf(v);
    // Most edges cut nothing: their line is looked up at their first cut.
    if (line.index == kNotLookedUp) {
        line.index = frameArena.lines.lineThrough(edge.from, edge.to);
    }
    Cutting c{v, lines, n, o, t, nullptr, nullptr, line.index};
    c.a = crossing(line, v[o - 1], v[o], lines[o - 1]);
    c.b = crossing(line, v[t - 1], v[t < n ? t : 0], lines[t - 1]);
    Polygon* const piece = frameArena.newPolygon();
    piece->allocateVertices(pieceSize);
    writeSide(piece->vertices, frameArena.linesOf(piece->vertices), c, !firstInside);
    pushFront(outside, piece);
    // Only a polygon that grows needs fresh slots.
    if (grows) {
        polygon->allocateVertices(keptSize);
    }
    writeSide(polygon->vertices, frameArena.linesOf(polygon->vertices), c, firstInside);
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
        EdgeLine line = lineOf(edges[e].from, edges[e].to);
        Polygon* previous = nullptr;
        Polygon* polygon = inside.head;
        while (polygon) {
            Polygon* const following = polygon->next;
            const Cut cut = cutPolygon(line, edges[e], polygon, outside);
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
