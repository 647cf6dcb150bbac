#include <algorithm>
#include <cmath>

#include "render/frame_arena.h"

namespace {

// Points up to this far left of an edge still count as inside, so shared
// edges of neighbouring faces do not leave hairline gaps. It bounds the side
// value, which grows with the edge's length: the band narrows along longer
// edges. Along edges shorter than a unit it is held at this distance, or an
// edge a pixel long would take in points pixels off it.
constexpr float kInsideTolerance = -0.00001f;

struct EdgeLine {
    float p;
    float q;
    float r;
    double tolerance;    // the bound on the side value
    std::int32_t index;  // in the frame's line table, -1 none
};

EdgeLine lineOf(const Edge2& edge) {
    const Point2* from = edge.from;
    const Point2* to = edge.to;
    EdgeLine line;
    line.p = to->y - from->y;
    line.q = -(to->x - from->x);
    line.r = line.p * from->x + line.q * from->y;
    const double length = std::sqrt(double(line.p) * line.p + double(line.q) * line.q);
    line.tolerance = static_cast<double>(kInsideTolerance) * std::min(length, 1.0);
    line.index = edge.line;
    return line;
}

// The side value, unrounded (wider than float): positive inside.
double sideOf(const EdgeLine& line, const Point2* v) {
    return (static_cast<double>(line.q) * v->y + static_cast<double>(line.p) * v->x) -
           static_cast<double>(line.r);
}

// Within the tolerance of the line on either side: the point is taken to lie
// on it, so a cut ends there instead of at a crossing a hair away.
bool isOn(const EdgeLine& line, const Point2* v) {
    const double side = sideOf(line, v);
    return side >= line.tolerance && side <= -line.tolerance;
}

// The arena room was reserved before the cut, so this cannot fail.
Point2* crossingPoint(const EdgeLine& line, const Point2* from, const Point2* to) {
    const float a = line.p * from->x + line.q * from->y;
    const float b = line.p * to->x + line.q * to->y;
    const float lambda = (a - line.r) / (a - b);
    const float mu = 1.0f - lambda;
    return frameArena.newPoint(mu * from->x + lambda * to->x, mu * from->y + lambda * to->y);
}

// True when x lies on the segment from p to q, give or take a thousandth of
// it: a cut nearly along the edge's line meets it far away.
bool onSegment(const Point2* x, const Point2* p, const Point2* q) {
    const float margin = 0.001f * (std::fabs(q->x - p->x) + std::fabs(q->y - p->y)) + 1e-6f;
    return x->x >= std::min(p->x, q->x) - margin && x->x <= std::max(p->x, q->x) + margin &&
           x->y >= std::min(p->y, q->y) - margin && x->y <= std::max(p->y, q->y) + margin;
}

// Where two known lines meet, made once per frame from the lines' own
// defining points (never from the piece of edge at hand) or shared as a
// defining point of both: every piece cut by the same line along the same
// edge line then shares one point, and two lines through one point meet at
// that very point. Null when the lines are unknown or parallel.
Point2* sharedCrossing(const EdgeLine& cut, std::int32_t along) {
    LineTable& table = frameArena.lines;
    if (!table.isLine(along) || !table.isLine(cut.index) || along == cut.index || table.full) {
        return nullptr;
    }
    const LineTable::Line& edge = table.lines[along];
    const LineTable::Line& cutter = table.lines[cut.index];
    if (edge.a == cutter.a || edge.a == cutter.b) {
        return edge.a;
    }
    if (edge.b == cutter.a || edge.b == cutter.b) {
        return edge.b;
    }
    Point2* known = table.crossingOf(along, cut.index);
    if (!known) {
        const float a = cut.p * edge.a->x + cut.q * edge.a->y;
        const float b = cut.p * edge.b->x + cut.q * edge.b->y;
        if (a == b) {
            return nullptr;
        }
        known = crossingPoint(cut, edge.a, edge.b);
        table.addCrossing(along, cut.index, known);
    }
    return known;
}

// Where the cut meets the edge from `from` to `to`, which lies on line
// `along`. Each crossing may take two points: the shared one and, when that
// lies off the edge, one of its own.
Point2* crossing(const EdgeLine& cut, Point2* from, Point2* to, std::int32_t along) {
    Point2* shared = sharedCrossing(cut, along);
    if (shared && onSegment(shared, from, to)) {
        return shared;
    }
    // Made from the edge itself: a point of both lines all the same.
    Point2* made = crossingPoint(cut, from, to);
    LineTable& table = frameArena.lines;
    if (table.isLine(along) && along != cut.index) {
        table.addCrossing(along, cut.index, made);
    } else {
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
// than v[0], A and B where the cut meets the edges into and out of it: a
// crossing, or the edge's inside end when that lies on the line.
struct Cutting {
    Point2* const* v;
    const std::int32_t* lines;  // the line of each edge, beside v
    std::int32_t n;
    std::int32_t o;
    std::int32_t t;
    Point2* a;
    Point2* b;
    std::int32_t cutLine;

    Point2* at(std::int32_t i) const { return v[i < n ? i : 0]; }
    // A vertex the cut ends at is written once, its edge then along the cut.
    bool aIsVertex(bool sideOfFirst) const { return a == (sideOfFirst ? v[o - 1] : v[o]); }
    bool bIsVertex(bool sideOfFirst) const { return b == (sideOfFirst ? at(t) : v[t - 1]); }
    std::int32_t sideSize(bool sideOfFirst) const {
        const std::int32_t own = sideOfFirst ? n - (t - o) : t - o;
        return own + (aIsVertex(sideOfFirst) ? 0 : 1) + (bIsVertex(sideOfFirst) ? 0 : 1);
    }
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
    const bool aVertex = c.aIsVertex(sideOfFirst);
    const bool bVertex = c.bIsVertex(sideOfFirst);
    const auto put = [&](Point2* point, std::int32_t line) {
        *out++ = point;
        *outLines++ = line;
    };
    if (sideOfFirst) {
        for (std::int32_t i = 0; i < c.o; ++i) {
            put(c.v[i], aVertex && i == c.o - 1 ? c.cutLine : c.lines[i]);
        }
        if (!aVertex) {
            put(c.a, c.cutLine);
        }
        if (!bVertex) {
            put(c.b, outOf);
        }
        for (std::int32_t i = c.t; i < c.n; ++i) {
            put(c.v[i], c.lines[i]);
        }
    } else {
        if (!aVertex) {
            put(c.a, into);
        }
        for (std::int32_t i = c.o; i < c.t; ++i) {
            put(c.v[i], bVertex && i == c.t - 1 ? c.cutLine : c.lines[i]);
        }
        if (!bVertex) {
            put(c.b, c.cutLine);
        }
    }
}

enum class Cut { Kept, MovedOut, Split, OutOfRoom };

// Which side of the cut a vertex lies on, and whether the inside holds a
// vertex off the line: a cut that would leave inside only vertices on the
// line leaves no area there.
struct Sides {
    const EdgeLine& line;
    Point2* const* v;
    const std::int32_t* lines;
    std::int32_t n;
    bool strictlyInside = false;

    // A vertex on the line joins it, so the pieces along the line on its
    // other side gain it as well. One already at an end of an edge along the
    // line is a point of the line.
    bool inside(std::int32_t i) {
        const double side = sideOf(line, v[i]);
        if (!(side >= line.tolerance)) {
            return false;
        }
        if (side > -line.tolerance) {
            strictlyInside = true;
        } else if (line.index >= 0 && lines[i] != line.index &&
                   lines[i > 0 ? i - 1 : n - 1] != line.index) {
            frameArena.lines.addMember(line.index, v[i]);
        }
        return true;
    }
};

// The cut's two ends: a vertex on the line where the edge's inside end lies
// on it, else the crossing.
void cutEnds(const EdgeLine& line, Cutting& c, bool firstInside) {
    Point2* const inA = firstInside ? c.v[c.o - 1] : c.v[c.o];
    Point2* const inB = firstInside ? c.at(c.t) : c.v[c.t - 1];
    c.a = isOn(line, inA) ? inA : crossing(line, c.v[c.o - 1], c.v[c.o], c.lines[c.o - 1]);
    c.b = isOn(line, inB) ? inB : crossing(line, c.v[c.t - 1], c.at(c.t), c.lines[c.t - 1]);
}

// Cuts one polygon of the inside list by one edge: the part outside goes to
// the head of outside (dropped when there is none), the polygon keeps the
// part inside. MovedOut: the whole polygon is outside and the caller unlinks
// it.
Cut cutPolygon(EdgeLine& line, Polygon* polygon, PolygonList* outside) {
    const std::int32_t n = polygon->vertexCount;
    Point2** v = polygon->vertices;
    if (n <= 0) {
        return Cut::Kept;
    }
    const std::int32_t* lines = frameArena.linesOf(v);
    Sides sides{line, v, lines, n};
    const bool firstInside = sides.inside(0);
    // o: first vertex on the other side of the edge than v[0].
    std::int32_t o = 1;
    while (o < n && sides.inside(o) == firstInside) {
        ++o;
    }
    if (o == n) {
        return firstInside ? Cut::Kept : Cut::MovedOut;
    }
    // t: first vertex after o back on v[0]'s side, or n.
    std::int32_t t = o + 1;
    while (t < n && sides.inside(t) != firstInside) {
        ++t;
    }
    for (std::int32_t i = t; firstInside && i < n && !sides.strictlyInside; ++i) {
        sides.inside(i);
    }
    if (!sides.strictlyInside) {
        return Cut::MovedOut;
    }
    // Each crossing may take two points: the shared one and one of its own.
    const std::int32_t run = t - o;
    const std::int32_t pieceMax = (firstInside ? run : n - run) + 2;
    const std::int32_t keptMax = (firstInside ? n - run : run) + 2;
    if (!frameArena.hasRoom(outside ? 1 : 0, 4,
                            (outside ? pieceMax : 0) + (keptMax > n ? keptMax : 0))) {
        return Cut::OutOfRoom;
    }
    Cutting c{v, lines, n, o, t, nullptr, nullptr, line.index};
    cutEnds(line, c, firstInside);
    const std::int32_t keptSize = c.sideSize(firstInside);
    if (outside) {
        Polygon* const piece = frameArena.newPolygon();
        piece->allocateVertices(c.sideSize(!firstInside));
        writeSide(piece->vertices, frameArena.linesOf(piece->vertices), c, !firstInside);
        pushFront(*outside, piece);
    }
    // Only a polygon that grows needs fresh slots.
    if (keptSize > n) {
        polygon->allocateVertices(keptSize);
    }
    writeSide(polygon->vertices, frameArena.linesOf(polygon->vertices), c, firstInside);
    polygon->vertexCount = keptSize;
    return Cut::Split;
}

}  // namespace

bool PolygonList::clip(const Edge2* edges, std::int32_t edgeCount, PolygonList& inside,
                       PolygonList& outside) const {
    return cut(edges, edgeCount, inside, &outside);
}

bool PolygonList::clipInside(const Edge2* edges, std::int32_t edgeCount,
                             PolygonList& inside) const {
    return cut(edges, edgeCount, inside, nullptr);
}

bool PolygonList::cut(const Edge2* edges, std::int32_t edgeCount, PolygonList& inside,
                      PolygonList* outside) const {
    inside.clear();
    if (outside) {
        outside->clear();
    }
    // Out of arena room: nothing counts as inside, and the untouched source
    // stands for everything outside, so the caller sees a consistent split.
    auto giveUp = [&]() {
        inside.clear();
        if (outside) {
            outside->count = count;
            outside->head = head;
        }
        return false;
    };
    if (!inside.copyFrom(*this)) {
        return giveUp();
    }
    for (std::int32_t e = 0; e < edgeCount && inside.count > 0; ++e) {
        EdgeLine line = lineOf(edges[e]);
        // An edge no line is known for (not the traversal's) gets one of its
        // own at its first cut.
        bool lineMade = line.index >= 0;
        Polygon* previous = nullptr;
        Polygon* polygon = inside.head;
        while (polygon) {
            Polygon* const following = polygon->next;
            if (!lineMade && polygon->vertexCount > 0) {
                line.index = frameArena.lines.newLine(edges[e].from, edges[e].to);
                lineMade = true;
            }
            const Cut cut = cutPolygon(line, polygon, outside);
            if (cut == Cut::OutOfRoom) {
                return giveUp();
            }
            if (cut == Cut::MovedOut) {
                // Wholly outside: the node moves over and meets no later edge.
                (previous ? previous->next : inside.head) = following;
                --inside.count;
                if (outside) {
                    pushFront(*outside, polygon);
                }
            } else {
                previous = polygon;
            }
            polygon = following;
        }
    }
    return true;
}
