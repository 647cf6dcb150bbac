#include "render/line_table.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "render/frame_arena.h"
#include "render/frame_record.h"

namespace {

// Line indices share the table with point addresses: as odd numbers they can
// never equal an (aligned) address.
std::uintptr_t lineKey(std::int32_t line) {
    return (static_cast<std::uintptr_t>(line) << 1) | 1u;
}

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

}  // namespace

bool LineTable::create(std::int32_t pointCapacity) {
    release();
    if (pointCapacity < 0) {
        return false;
    }
    // Every crossing is a member of two lines and every line has two
    // defining members; a line needs at least one crossing or clip edge.
    lineCapacity = pointCapacity + 16;
    memberCapacity = 4 * pointCapacity + 64;
    // A frame keeps about one entry for every two points it makes, and the
    // table is kept at most half full. Much larger would only spread a
    // frame's entries over more cache lines: a frame busier than the cap
    // allows is drawn unmended.
    std::uint32_t entryCapacity = 64;
    while (entryCapacity < static_cast<std::uint32_t>(pointCapacity) && entryCapacity < 65536) {
        entryCapacity *= 2;
    }
    lines = new (std::nothrow) Line[static_cast<std::size_t>(lineCapacity)];
    members = new (std::nothrow) Member[static_cast<std::size_t>(memberCapacity)];
    sortedPoints = new (std::nothrow) Point2*[static_cast<std::size_t>(memberCapacity)];
    entries = new (std::nothrow) Entry[entryCapacity];
    if (!lines || !members || !sortedPoints || !entries) {
        release();
        return false;
    }
    entryMask = entryCapacity - 1;
    reset();
    return true;
}

void LineTable::release() {
    delete[] lines;
    delete[] members;
    delete[] sortedPoints;
    delete[] entries;
    lines = nullptr;
    members = nullptr;
    sortedPoints = nullptr;
    entries = nullptr;
    lineCapacity = 0;
    memberCapacity = 0;
    entryMask = 0;
    reset();
}

void LineTable::reset() {
    lineCount = 0;
    memberCount = 0;
    sortedCount = 0;
    entryCount = 0;
    full = !entries;
    // Entries of earlier frames are told apart by their stamp; only when it
    // wraps round must the table really be cleared.
    if (++stamp == 0) {
        for (std::uint32_t i = 0; entries && i <= entryMask; ++i) {
            entries[i].stamp = 0;
        }
        stamp = 1;
    }
}

LineTable::Entry* LineTable::find(std::uintptr_t key1, std::uintptr_t key2, bool& found) {
    found = false;
    if (full) {
        return nullptr;
    }
    std::uint64_t hash =
        key1 * 0x9E3779B97F4A7C15ull ^ (key2 + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
    hash ^= hash >> 29;
    for (std::uint32_t i = static_cast<std::uint32_t>(hash) & entryMask;; i = (i + 1) & entryMask) {
        Entry& entry = entries[i];
        if (entry.stamp != stamp) {
            // Kept at most half full, so probing stays short and ends.
            if (2 * static_cast<std::uint32_t>(entryCount + 1) > entryMask + 1) {
                full = true;
                return nullptr;
            }
            ++entryCount;
            entry.key1 = key1;
            entry.key2 = key2;
            entry.value = 0;
            entry.stamp = stamp;
            return &entry;
        }
        if (entry.key1 == key1 && entry.key2 == key2) {
            found = true;
            return &entry;
        }
    }
}

std::int32_t LineTable::lineThrough(Point2* a, Point2* b) {
    if (a == b || !a || !b) {
        return -1;
    }
    if (b < a) {
        std::swap(a, b);
    }
    bool found = false;
    Entry* entry =
        find(reinterpret_cast<std::uintptr_t>(a), reinterpret_cast<std::uintptr_t>(b), found);
    if (!entry || found) {
        return entry ? static_cast<std::int32_t>(entry->value) : -1;
    }
    if (lineCount >= lineCapacity) {
        full = true;
        return -1;
    }
    const std::int32_t index = lineCount++;
    Line& line = lines[index];
    line = Line();
    line.a = a;
    line.b = b;
    entry->value = static_cast<std::uintptr_t>(index);
    addMember(index, a);
    addMember(index, b);
    return index;
}

Point2** LineTable::crossingOf(std::int32_t line1, std::int32_t line2) {
    bool found = false;
    Entry* entry = find(lineKey(std::min(line1, line2)), lineKey(std::max(line1, line2)), found);
    return entry ? reinterpret_cast<Point2**>(&entry->value) : nullptr;
}

void LineTable::addMember(std::int32_t line, Point2* point) {
    if (line < 0 || line >= lineCount || memberCount >= memberCapacity) {
        full = true;
        return;
    }
    Member& member = members[memberCount];
    member.point = point;
    member.next = lines[line].firstMember;
    lines[line].firstMember = memberCount++;
    ++lines[line].memberCount;
}

// Orders a line's members along it, once per frame; returns how many.
std::int32_t LineTable::sortLine(std::int32_t index) {
    Line& line = lines[index];
    if (line.sorted >= 0 || line.memberCount <= 2) {
        return line.memberCount;
    }
    line.sorted = sortedCount;
    Point2** out = sortedPoints + sortedCount;
    for (std::int32_t m = line.firstMember; m >= 0; m = members[m].next) {
        *out++ = members[m].point;
    }
    sortedCount += line.memberCount;
    // Along the line from a to its farthest member: the defining points
    // alone may be too close together to give its direction.
    const Point2* origin = line.a;
    double dx = 0.0;
    double dy = 0.0;
    for (const Point2* const* p = sortedPoints + line.sorted; p != out; ++p) {
        const double ex = double((*p)->x) - origin->x;
        const double ey = double((*p)->y) - origin->y;
        if (ex * ex + ey * ey > dx * dx + dy * dy) {
            dx = ex;
            dy = ey;
        }
    }
    // Ties (points made twice at one place) by address: the same order for
    // every polygon that asks.
    std::sort(sortedPoints + line.sorted, out, [&](const Point2* p, const Point2* q) {
        const double tp = (double(p->x) - origin->x) * dx + (double(p->y) - origin->y) * dy;
        const double tq = (double(q->x) - origin->x) * dx + (double(q->y) - origin->y) * dy;
        return tp < tq || (tp == tq && p < q);
    });
    return line.memberCount;
}

std::int32_t LineTable::rankOf(const Line& line, const Point2* point) const {
    for (std::int32_t i = 0; i < line.memberCount; ++i) {
        if (sortedPoints[line.sorted + i] == point) {
            return i;
        }
    }
    return -1;
}

// How many points the polygon's edges lack.
std::int32_t LineTable::gained(const Polygon& polygon, const std::int32_t* edgeLines) {
    const std::int32_t n = polygon.vertexCount;
    std::int32_t extra = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t index = edgeLines[i];
        if (index < 0 || index >= lineCount || sortLine(index) <= 2) {
            continue;
        }
        const std::int32_t from = rankOf(lines[index], polygon.vertices[i]);
        const std::int32_t to = rankOf(lines[index], polygon.vertices[i + 1 < n ? i + 1 : 0]);
        if (from >= 0 && to >= 0 && from != to) {
            const Line& l = lines[index];
            const std::int32_t step = to > from ? 1 : -1;
            for (std::int32_t r = from + step; r != to; r += step) {
                extra += isVertex(polygon, sortedPoints[l.sorted + r]) ? 0 : 1;
            }
        }
    }
    return extra;
}

bool LineTable::mendPolygon(Polygon& polygon) {
    const std::int32_t n = polygon.vertexCount;
    const std::int32_t* edgeLines = frameArena.linesOf(polygon.vertices);
    // Windows are shared (twins, a view that cut nothing): each is looked at
    // once.
    const std::int32_t extra = polygon.mendChecked || n < 3 ? 0 : gained(polygon, edgeLines);
    polygon.mendChecked = true;
    if (extra == 0) {
        return true;
    }
    Point2** slots = frameArena.takeSlots(n + extra, true);
    if (!slots) {
        return false;
    }
    std::int32_t* slotLines = frameArena.linesOf(slots);
    std::int32_t k = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t index = edgeLines[i];
        slots[k] = polygon.vertices[i];
        slotLines[k++] = index;
        if (index < 0 || index >= lineCount || lines[index].memberCount <= 2) {
            continue;
        }
        const Line& line = lines[index];
        const std::int32_t from = rankOf(line, polygon.vertices[i]);
        const std::int32_t to = rankOf(line, polygon.vertices[i + 1 < n ? i + 1 : 0]);
        if (from < 0 || to < 0 || from == to) {
            continue;
        }
        const std::int32_t step = to > from ? 1 : -1;
        for (std::int32_t r = from + step; r != to; r += step) {
            Point2* point = sortedPoints[line.sorted + r];
            if (!isVertex(polygon, point)) {
                slots[k] = point;
                slotLines[k++] = index;
            }
        }
    }
    polygon.vertices = slots;
    polygon.vertexCount = k;
    polygon.fanFromCentre = true;
    return true;
}

bool LineTable::mend(const FrameRecord& record) {
    if (full) {
        return false;
    }
    for (std::int32_t c = 0; c < record.count; ++c) {
        for (const Polygon* p = record.commands[c].polygons; p; p = p->next) {
            // The record's polygons are the arena's own; mending is the
            // last thing done to them in a frame.
            if (!mendPolygon(*const_cast<Polygon*>(p))) {
                return false;
            }
        }
    }
    return true;
}
