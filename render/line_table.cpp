#include "render/line_table.h"

#include <new>

bool LineTable::create(std::int32_t points) {
    release();
    if (points < 0 || points > (1 << 26)) {
        return false;
    }
    // A line for every object edge a front face has, in every view that
    // projects it, and every window edge; every crossing is a point and a
    // member of two lines, and a vertex found on a cut's line joins it. A
    // frame busier than this is drawn unmended.
    lineCapacity = 3 * points + 64;
    memberCapacity = 4 * points + 128;
    lines.reset(new (std::nothrow) Line[static_cast<std::size_t>(lineCapacity)]);
    members.reset(new (std::nothrow) Member[static_cast<std::size_t>(memberCapacity)]);
    if (!lines || !members) {
        release();
        return false;
    }
    reset();
    return true;
}

void LineTable::release() {
    lines.reset();
    members.reset();
    lineCapacity = 0;
    memberCapacity = 0;
    reset();
}

void LineTable::reset() {
    lineCount = 0;
    memberCount = 0;
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
