#include "render/line_table.h"

#include <algorithm>
#include <new>

#include "render/frame_arena.h"
#include "render/frame_record.h"

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

}  // namespace

bool LineTable::create(std::int32_t points, std::int32_t slots) {
    release();
    if (points < 0 || points > (1 << 26) || slots < 0) {
        return false;
    }
    pointCapacity = points;
    slotCapacity = slots;
    // A line for every object edge a front face has, in every view that
    // projects it, and every window edge; every crossing is a point and a
    // member of two lines, and a vertex found on a cut's line joins it. A
    // frame busier than this is drawn unmended.
    lineCapacity = 3 * pointCapacity + 64;
    memberCapacity = 4 * pointCapacity + 128;
    lines.reset(new (std::nothrow) Line[static_cast<std::size_t>(lineCapacity)]);
    members.reset(new (std::nothrow) Member[static_cast<std::size_t>(memberCapacity)]);
    // Every line an edge asks for is sorted once, with its defining points.
    sortedCapacity = memberCapacity + 2 * lineCapacity;
    sorted.reset(new (std::nothrow) Member[static_cast<std::size_t>(sortedCapacity)]);
    // A polygon has three slots at least.
    mendList.reset(new (std::nothrow) Polygon*[static_cast<std::size_t>(slots / 3 + 1)]);
    edgeRefs.reset(new (std::nothrow) EdgeRef[static_cast<std::size_t>(slots)]);
    ranges.reset(new (std::nothrow) Range[static_cast<std::size_t>(slots)]);
    rankLine.reset(new (std::nothrow) std::int32_t[static_cast<std::size_t>(points)]);
    rank.reset(new (std::nothrow) std::int32_t[static_cast<std::size_t>(points)]);
    if (!lines || !members || !sorted || !mendList || !edgeRefs || !ranges || !rankLine || !rank) {
        release();
        return false;
    }
    reset();
    return true;
}

void LineTable::release() {
    lines.reset();
    members.reset();
    sorted.reset();
    mendList.reset();
    edgeRefs.reset();
    ranges.reset();
    rankLine.reset();
    rank.reset();
    slotCapacity = 0;
    pointCapacity = 0;
    sortedCapacity = 0;
    lineCapacity = 0;
    memberCapacity = 0;
    reset();
}

void LineTable::reset() {
    lineCount = 0;
    memberCount = 0;
    sortedCount = 0;
    full = !lines;
}

std::int32_t LineTable::newLine(Point2* a, Point2* b) {
    // Two points at one place give no direction to order the line's points by.
    if (!a || !b || (a->x == b->x && a->y == b->y)) {
        return -1;
    }
    if (full || lineCount >= lineCapacity) {
        full = true;
        return -1;
    }
    const std::int32_t index = lineCount++;
    Line& line = lines[index];
    line = Line();
    line.a = a;
    line.b = b;
    return index;
}

Point2* LineTable::crossingOf(std::int32_t line1, std::int32_t line2) const {
    if (!isLine(line1) || !isLine(line2)) {
        return nullptr;
    }
    // Most lines hold a few points, a window's edges a few dozen: the
    // shorter list is searched.
    if (lines[line2].memberCount < lines[line1].memberCount) {
        const std::int32_t swap = line1;
        line1 = line2;
        line2 = swap;
    }
    for (std::int32_t m = lines[line1].firstMember; m >= 0; m = members[m].next) {
        if (members[m].otherLine == line2) {
            return members[m].point;
        }
    }
    return nullptr;
}

void LineTable::addCrossing(std::int32_t line1, std::int32_t line2, Point2* point) {
    addMember(line1, point, line2);
    addMember(line2, point, line1);
}

double LineTable::alongLine(const Line& line, const Point2* point) const {
    const double dx = double(line.b->x) - line.a->x;
    const double dy = double(line.b->y) - line.a->y;
    return (double(point->x) - line.a->x) * dx + (double(point->y) - line.a->y) * dy;
}

void LineTable::addMember(std::int32_t line, Point2* point, std::int32_t otherLine) {
    if (!isLine(line) || !point) {
        return;
    }
    if (memberCount >= memberCapacity) {
        full = true;
        return;
    }
    Member& member = members[memberCount];
    member.point = point;
    member.along = alongLine(lines[line], point);
    member.otherLine = otherLine;
    member.next = lines[line].firstMember;
    lines[line].firstMember = memberCount++;
    ++lines[line].memberCount;
}

// The line's points, defining ones included, in order along it: sorted once
// per frame, at the first edge that asks. Null when there is no room.
const LineTable::Member* LineTable::sortedPoints(std::int32_t index) {
    Line& line = lines[index];
    const std::int32_t n = line.memberCount + 2;
    if (line.sorted < 0) {
        if (n > sortedCapacity - sortedCount) {
            full = true;
            return nullptr;
        }
        Member* out = sorted.get() + sortedCount;
        std::int32_t k = 0;
        const auto insert = [&](const Member& member) {
            // Insertion sort: a line holds a few dozen points at most.
            std::int32_t j = k++;
            for (; j > 0 && before(member, out[j - 1]); --j) {
                out[j] = out[j - 1];
            }
            out[j] = member;
        };
        insert(Member{line.a, alongLine(line, line.a), -1, -1});
        insert(Member{line.b, alongLine(line, line.b), -1, -1});
        for (std::int32_t m = line.firstMember; m >= 0; m = members[m].next) {
            insert(members[m]);
        }
        line.sorted = sortedCount;
        sortedCount += n;
    }
    return sorted.get() + line.sorted;
}

// Every polygon the record draws, each once (windows are shared: twins, a
// view that cut nothing), into mendList; each line learns how many of
// their edges lie on it.
bool LineTable::listPolygons(const FrameRecord& record) {
    mendCount = 0;
    for (std::int32_t c = 0; c < record.count; ++c) {
        for (const Polygon* p = record.commands[c].polygons; p; p = p->next) {
            // The record's polygons are the arena's own; mending is the
            // last thing done to them in a frame.
            Polygon& polygon = *const_cast<Polygon*>(p);
            if (polygon.mendChecked || polygon.vertexCount < 3) {
                continue;
            }
            polygon.mendChecked = true;
            if (mendCount > slotCapacity / 3) {
                return false;
            }
            mendList[mendCount++] = &polygon;
            const std::int32_t* edgeLines = frameArena.linesOf(polygon.vertices);
            for (std::int32_t i = 0; i < polygon.vertexCount; ++i) {
                if (isLine(edgeLines[i])) {
                    ++lines[edgeLines[i]].edgeCount;
                }
            }
        }
    }
    return true;
}

// Each line's edges together in edgeRefs, by the slots of their ends.
void LineTable::listEdges() {
    std::int32_t next = 0;
    for (std::int32_t i = 0; i < lineCount; ++i) {
        lines[i].firstEdge = next;
        next += lines[i].edgeCount;
        lines[i].edgeCount = 0;
    }
    for (std::int32_t p = 0; p < mendCount; ++p) {
        const Polygon& polygon = *mendList[p];
        const std::int32_t n = polygon.vertexCount;
        const std::int32_t base = static_cast<std::int32_t>(polygon.vertices - frameArena.slots);
        const std::int32_t* edgeLines = frameArena.linesOf(polygon.vertices);
        for (std::int32_t i = 0; i < n; ++i) {
            if (isLine(edgeLines[i])) {
                Line& line = lines[edgeLines[i]];
                edgeRefs[line.firstEdge + line.edgeCount++] = EdgeRef{base + i, base + (i + 1) % n};
            }
        }
    }
}

// The point's place in the order of the line last ranked; -1 when it is not
// one of that line's points.
std::int32_t LineTable::rankOf(const Point2* point, std::int32_t line) const {
    const std::ptrdiff_t index = point - frameArena.points;
    if (index < 0 || index >= pointCapacity || rankLine[index] != line) {
        return -1;
    }
    return rank[index];
}

// One sweep per line: its points sorted and ranked, then every edge on it
// finds its ends by rank.
bool LineTable::rangeEdges() {
    for (std::int32_t l = 0; l < lineCount; ++l) {
        const Line& line = lines[l];
        if (line.edgeCount == 0) {
            continue;
        }
        const Member* points = sortedPoints(l);
        if (!points) {
            return false;
        }
        for (std::int32_t k = 0; k < line.memberCount + 2; ++k) {
            const std::ptrdiff_t index = points[k].point - frameArena.points;
            if (index >= 0 && index < pointCapacity) {
                rankLine[index] = l;
                rank[index] = k;  // a point listed twice keeps its last place
            }
        }
        for (std::int32_t e = line.firstEdge; e < line.firstEdge + line.edgeCount; ++e) {
            const Point2* from = frameArena.slots[edgeRefs[e].from];
            const Point2* to = frameArena.slots[edgeRefs[e].to];
            const std::int32_t rankFrom = rankOf(from, l);
            const std::int32_t rankTo = rankOf(to, l);
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
bool LineTable::mendPolygon(Polygon& polygon, Span& out) const {
    const std::int32_t n = polygon.vertexCount;
    const std::int32_t base = static_cast<std::int32_t>(polygon.vertices - frameArena.slots);
    const std::int32_t* edgeLines = frameArena.linesOf(polygon.vertices);
    bool gains = false;
    for (std::int32_t i = 0; i < n && !gains; ++i) {
        gains = isLine(edgeLines[i]) && ranges[base + i].count != 0;
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
        if (!isLine(edgeLines[i])) {
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
        frameArena.takeSlots(out.count, true);
        polygon.vertices = out.points;
        polygon.vertexCount = out.count;
        polygon.fanFromCentre = true;
    }
    return true;
}

bool LineTable::mend(const FrameRecord& record) {
    if (full || !listPolygons(record)) {
        return false;
    }
    listEdges();
    // Ranks of an earlier frame must not pass for this one's.
    std::fill(rankLine.get(), rankLine.get() + std::min(frameArena.pointsUsed, pointCapacity), -1);
    if (!rangeEdges()) {
        return false;
    }
    for (std::int32_t p = 0; p < mendCount; ++p) {
        Span out;
        out.points = frameArena.freeSlots(out.room);
        out.lines = frameArena.linesOf(out.points);
        if (!mendPolygon(*mendList[p], out)) {
            return false;
        }
    }
    return true;
}
