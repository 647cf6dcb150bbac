#include "render/mend.h"

#include <algorithm>
#include <new>

namespace {

// A point of a polygon's own is not added to another of its edges again: a
// polygon that would visit a point twice folds over itself.
bool isVertex(const Polygon& polygon, const Point2* point) {
    for (std::int32_t i = 0; i < polygon.vertexCount; ++i) {
        if (polygon.vertices[i] == point) {
            return true;
        }
    }
    return false;
}

// Points made twice at one place are ordered by address: the same order for
// every polygon that asks.
bool before(const LineTable::Member& p, const LineTable::Member& q) {
    return p.along < q.along || (p.along == q.along && p.point < q.point);
}

template <typename T>
std::unique_ptr<T[]> array(std::int32_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<std::size_t>(count)]);
}

}  // namespace

// Where a mended polygon is written: the arena's free slots.
struct Mend::Span {
    Point2** points = nullptr;
    std::int32_t* lines = nullptr;
    std::int32_t room = 0;
    std::int32_t count = 0;
};

bool Mend::create(const FrameArena& arena) {
    release();
    lineCapacity = arena.lines.lineCapacity;
    // Every line an edge asks for is sorted once, with its defining points.
    sortedCapacity = arena.lines.memberCapacity + 2 * lineCapacity;
    polygonCapacity = arena.polygonCapacity;
    pointCapacity = arena.pointCapacity;
    slotCapacity = arena.slotCapacity;
    lineEdges = array<LineEdges>(lineCapacity);
    sorted = array<LineTable::Member>(sortedCapacity);
    polygons = array<Polygon*>(polygonCapacity);
    listedIn = array<std::uint32_t>(polygonCapacity);
    edgeRefs = array<EdgeRef>(slotCapacity);
    ranges = array<Range>(slotCapacity);
    rankLine = array<std::int32_t>(pointCapacity);
    rank = array<std::int32_t>(pointCapacity);
    if (!lineEdges || !sorted || !polygons || !listedIn || !edgeRefs || !ranges || !rankLine ||
        !rank) {
        release();
        return false;
    }
    std::fill(listedIn.get(), listedIn.get() + polygonCapacity, 0u);
    return true;
}

void Mend::release() {
    lineEdges.reset();
    sorted.reset();
    polygons.reset();
    listedIn.reset();
    edgeRefs.reset();
    ranges.reset();
    rankLine.reset();
    rank.reset();
    lineCapacity = 0;
    sortedCapacity = 0;
    polygonCapacity = 0;
    pointCapacity = 0;
    slotCapacity = 0;
    sortedCount = 0;
    polygonCount = 0;
}

// The line's points, defining ones included, in order along it: sorted once
// per frame, at the first edge that asks. Null when there is no room.
const LineTable::Member* Mend::sortedPoints(const LineTable& table, std::int32_t index) {
    const LineTable::Line& line = table.lines[index];
    LineEdges& edges = lineEdges[index];
    const std::int32_t n = line.memberCount + 2;
    if (edges.sorted < 0) {
        if (n > sortedCapacity - sortedCount) {
            return nullptr;
        }
        LineTable::Member* out = sorted.get() + sortedCount;
        std::int32_t k = 0;
        const auto insert = [&](const LineTable::Member& member) {
            // Insertion sort: a line holds a few dozen points at most.
            std::int32_t j = k++;
            for (; j > 0 && before(member, out[j - 1]); --j) {
                out[j] = out[j - 1];
            }
            out[j] = member;
        };
        insert(LineTable::Member{line.a, table.alongLine(line, line.a), -1, -1});
        insert(LineTable::Member{line.b, table.alongLine(line, line.b), -1, -1});
        for (std::int32_t m = line.firstMember; m >= 0; m = table.members[m].next) {
            insert(table.members[m]);
        }
        edges.sorted = sortedCount;
        sortedCount += n;
    }
    return sorted.get() + edges.sorted;
}

// Every polygon the record draws, each once (windows are shared: twins, a
// view that cut nothing), into polygons; each line learns how many of their
// edges lie on it. The record's polygons are the arena's own: found by their
// place in it, they are written through the arena.
bool Mend::listPolygons(const FrameRecord& record, const FrameArena& arena) {
    polygonCount = 0;
    ++frame;
    if (frame == 0) {  // wrapped: no stamp may pass for this frame's
        std::fill(listedIn.get(), listedIn.get() + polygonCapacity, 0u);
        frame = 1;
    }
    for (std::int32_t c = 0; c < record.count; ++c) {
        for (const Polygon* p = record.commands[c].polygons; p; p = p->next) {
            const std::ptrdiff_t index = p - arena.polygons;
            if (index < 0 || index >= arena.polygonsUsed) {
                return false;
            }
            Polygon& polygon = arena.polygons[index];
            if (listedIn[index] == frame || polygon.vertexCount < 3) {
                continue;
            }
            listedIn[index] = frame;
            polygons[polygonCount++] = &polygon;
            const std::int32_t* edgeLines = arena.linesOf(polygon.vertices);
            for (std::int32_t i = 0; i < polygon.vertexCount; ++i) {
                if (arena.lines.isLine(edgeLines[i])) {
                    ++lineEdges[edgeLines[i]].edgeCount;
                }
            }
        }
    }
    return true;
}

// Each line's edges together in edgeRefs, by the slots of their ends.
void Mend::listEdges(const FrameArena& arena) {
    std::int32_t next = 0;
    for (std::int32_t i = 0; i < arena.lines.lineCount; ++i) {
        lineEdges[i].firstEdge = next;
        next += lineEdges[i].edgeCount;
        lineEdges[i].edgeCount = 0;
    }
    for (std::int32_t p = 0; p < polygonCount; ++p) {
        const Polygon& polygon = *polygons[p];
        const std::int32_t n = polygon.vertexCount;
        const std::int32_t base = static_cast<std::int32_t>(polygon.vertices - arena.slots);
        const std::int32_t* edgeLines = arena.linesOf(polygon.vertices);
        for (std::int32_t i = 0; i < n; ++i) {
            if (arena.lines.isLine(edgeLines[i])) {
                LineEdges& line = lineEdges[edgeLines[i]];
                edgeRefs[line.firstEdge + line.edgeCount++] = EdgeRef{base + i, base + (i + 1) % n};
            }
        }
    }
}

// The point's place in the order of the line last ranked; -1 when it is not
// one of that line's points.
std::int32_t Mend::rankOf(const FrameArena& arena, const Point2* point, std::int32_t line) const {
    const std::ptrdiff_t index = point - arena.points;
    if (index < 0 || index >= pointCapacity || rankLine[index] != line) {
        return -1;
    }
    return rank[index];
}

// One sweep per line: its points sorted and ranked, then every edge on it
// finds its ends by rank.
bool Mend::rangeEdges(const FrameArena& arena) {
    for (std::int32_t l = 0; l < arena.lines.lineCount; ++l) {
        const LineEdges& line = lineEdges[l];
        if (line.edgeCount == 0) {
            continue;
        }
        const LineTable::Member* points = sortedPoints(arena.lines, l);
        if (!points) {
            return false;
        }
        for (std::int32_t k = 0; k < arena.lines.lines[l].memberCount + 2; ++k) {
            const std::ptrdiff_t index = points[k].point - arena.points;
            if (index >= 0 && index < pointCapacity) {
                rankLine[index] = l;
                rank[index] = k;  // a point listed twice keeps its last place
            }
        }
        for (std::int32_t e = line.firstEdge; e < line.firstEdge + line.edgeCount; ++e) {
            const std::int32_t rankFrom = rankOf(arena, arena.slots[edgeRefs[e].from], l);
            const std::int32_t rankTo = rankOf(arena, arena.slots[edgeRefs[e].to], l);
            Range& range = ranges[edgeRefs[e].from];
            if (rankFrom < 0 || rankTo < 0) {
                // An end the line does not list (no cut makes one): the edge
                // is left as it is.
                range = Range{0, 0};
            } else if (rankFrom < rankTo) {
                range = Range{line.sorted + rankFrom + 1, rankTo - rankFrom - 1};
            } else {
                range = Range{line.sorted + rankFrom - 1, std::min(rankTo - rankFrom + 1, 0)};
            }
        }
    }
    return true;
}

// Writes the mended polygon straight into the arena's free slots and takes
// them only when it gained points.
bool Mend::mendPolygon(Polygon& polygon, FrameArena& arena, Span& out) const {
    const std::int32_t n = polygon.vertexCount;
    const std::int32_t base = static_cast<std::int32_t>(polygon.vertices - arena.slots);
    const std::int32_t* edgeLines = arena.linesOf(polygon.vertices);
    bool gains = false;
    for (std::int32_t i = 0; i < n && !gains; ++i) {
        gains = arena.lines.isLine(edgeLines[i]) && ranges[base + i].count != 0;
    }
    if (!gains) {
        return true;
    }
    for (std::int32_t i = 0; i < n; ++i) {
        if (out.count >= out.room) {
            return false;
        }
        out.points[out.count] = polygon.vertices[i];
        out.lines[out.count++] = edgeLines[i];
        if (!arena.lines.isLine(edgeLines[i])) {
            continue;
        }
        const Range range = ranges[base + i];
        const std::int32_t step = range.count < 0 ? -1 : 1;
        const Point2* previous = polygon.vertices[i];
        for (std::int32_t k = 0; k != range.count; k += step) {
            Point2* point = sorted[range.first + k].point;
            // Listed twice (a vertex that joined the line twice): added once.
            if (point == previous || isVertex(polygon, point)) {
                continue;
            }
            if (out.count >= out.room) {
                return false;
            }
            previous = point;
            out.points[out.count] = point;
            out.lines[out.count++] = edgeLines[i];
        }
    }
    if (out.count > n) {
        arena.takeSlots(out.count, true);
        polygon.vertices = out.points;
        polygon.vertexCount = out.count;
        polygon.fanFromCentre = true;
    }
    return true;
}

// Seen from a corner whose two edges gained no points, no two of the other
// points lie on one line with it: the mended polygon starts there and is
// drawn as a fan from it. Round its centre instead, a sliver's fan turns
// over where the centre lies a hair from the long edge, once the points
// are snapped to the pixels. A corner is where the edge's line changes; a
// run of edges on one line is one edge that gained points (an edge on no
// known line gained none).
void Mend::startAtCorner(Polygon& polygon, const FrameArena& arena) {
    const std::int32_t n = polygon.vertexCount;
    std::int32_t* lines = arena.linesOf(polygon.vertices);
    const auto corner = [&](std::int32_t i) {
        return lines[i] < 0 || lines[(i + n - 1) % n] != lines[i];
    };
    for (std::int32_t i = 0; i < n; ++i) {
        if (corner(i) && corner((i + n - 1) % n) && corner((i + 1) % n)) {
            std::rotate(polygon.vertices, polygon.vertices + i, polygon.vertices + n);
            std::rotate(lines, lines + i, lines + n);
            polygon.fanFromCentre = false;
            return;
        }
    }
}

bool Mend::run(const FrameRecord& record, FrameArena& arena, bool fromCorners) {
    // An arena that outgrew the mend's arrays, or a frame whose lines did not
    // all fit, is drawn as cut.
    if (!lineEdges || arena.lines.full || arena.lines.lineCount > lineCapacity ||
        arena.polygonCapacity > polygonCapacity || arena.pointCapacity > pointCapacity ||
        arena.slotCapacity > slotCapacity) {
        return false;
    }
    std::fill(lineEdges.get(), lineEdges.get() + arena.lines.lineCount, LineEdges());
    sortedCount = 0;
    if (!listPolygons(record, arena)) {
        return false;
    }
    listEdges(arena);
    // Ranks of an earlier frame must not pass for this one's.
    std::fill(rankLine.get(), rankLine.get() + std::min(arena.pointsUsed, pointCapacity), -1);
    if (!rangeEdges(arena)) {
        return false;
    }
    for (std::int32_t p = 0; p < polygonCount; ++p) {
        Span out;
        out.points = arena.freeSlots(out.room);
        out.lines = arena.linesOf(out.points);
        if (!mendPolygon(*polygons[p], arena, out)) {
            return false;
        }
    }
    for (std::int32_t p = 0; fromCorners && p < polygonCount; ++p) {
        if (polygons[p]->fanFromCentre) {
            startAtCorner(*polygons[p], arena);
        }
    }
    return true;
}
