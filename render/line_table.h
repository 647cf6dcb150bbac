#pragma once

#include <cstdint>

#include "render/polygon.h"

struct FrameRecord;

// The lines the frame's polygon edges lie on, and every point made on each.
// A line is named by the two points of the clip edge (or root window edge)
// that made it, whichever way round, so the same line cut from two sides or
// by two clips is one line. Every edge the clipper writes keeps the index of
// its line beside its vertex slot (FrameArena::slotLines); every crossing is
// listed with both lines it lies on. That is what lets the frame's
// T-junctions be mended exactly, by pointer, once everything is cut.
//
// Fixed pools and a hash table stamped per frame: nothing is cleared or
// allocated inside a frame. When a pool or the table is full the frame goes
// on without lines (edges get -1) and is drawn unmended.
struct LineTable {
    struct Line {
        Point2* a = nullptr;  // the defining points, lower address first
        Point2* b = nullptr;
        std::int32_t firstMember = -1;
        std::int32_t memberCount = 0;
        std::int32_t sorted = -1;  // its members in order along it, in sortedPoints
    };
    struct Member {
        Point2* point = nullptr;
        std::int32_t next = -1;
    };
    struct Entry {
        std::uintptr_t key1 = 0;
        std::uintptr_t key2 = 0;
        std::uintptr_t value = 0;
        std::uint32_t stamp = 0;
    };

    Line* lines = nullptr;
    Member* members = nullptr;
    Point2** sortedPoints = nullptr;
    Entry* entries = nullptr;
    std::int32_t lineCapacity = 0;
    std::int32_t memberCapacity = 0;
    std::uint32_t entryMask = 0;
    std::int32_t lineCount = 0;
    std::int32_t memberCount = 0;
    std::int32_t sortedCount = 0;
    std::int32_t entryCount = 0;
    std::uint32_t stamp = 1;
    bool full = false;  // something was refused this frame: draw it unmended

    LineTable() = default;
    ~LineTable() { release(); }
    LineTable(const LineTable&) = delete;
    LineTable& operator=(const LineTable&) = delete;

    // Room for a frame that makes up to pointCapacity points.
    bool create(std::int32_t pointCapacity);
    void release();
    void reset();

    // The line through a and b (either order), made on first use; -1 when
    // full or a == b.
    std::int32_t lineThrough(Point2* a, Point2* b);
    // Where the crossing of two lines is kept once made; null when full.
    Point2** crossingOf(std::int32_t line1, std::int32_t line2);
    void addMember(std::int32_t line, Point2* point);

    // Gives every polygon the record draws, on each edge, the points of the
    // edge's line that lie between its ends. False when the frame had no room
    // (it is then drawn as cut).
    bool mend(const FrameRecord& record);

private:
    Entry* find(std::uintptr_t key1, std::uintptr_t key2, bool& found);
    std::int32_t sortLine(std::int32_t line);
    std::int32_t rankOf(const Line& line, const Point2* point) const;
    std::int32_t gained(const Polygon& polygon, const std::int32_t* edgeLines);
    bool mendPolygon(Polygon& polygon);
};
