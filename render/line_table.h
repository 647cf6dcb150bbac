#pragma once

#include <cstdint>
#include <memory>

#include "render/polygon.h"

struct FrameRecord;

// The lines the frame's polygon edges lie on, and every point made on each.
// A line is made once for what it stands for (an object edge as projected
// into one view, a window edge, the cut a view's plane makes through a face)
// and named by its index, which every edge on it carries beside its vertex
// slot (FrameArena::slotLines) and every clip edge carries along. Every
// crossing of two lines is made once and kept on both; a vertex a cut finds
// on its line joins it. That is what lets the frame's T-junctions be mended
// exactly, by pointer, once everything is cut.
//
// Fixed pools rewound per frame: nothing is cleared or allocated inside a
// frame. When a pool is full the frame goes on without lines (new edges get
// -1) and is drawn unmended.
struct LineTable {
    // The points made on it besides its two defining ones are listed.
    struct Line {
        Point2* a = nullptr;  // the defining points
        Point2* b = nullptr;
        std::int32_t firstMember = -1;
        std::int32_t memberCount = 0;
        std::int32_t sorted = -1;    // where its points lie in order, in sorted
        std::int32_t firstEdge = 0;  // its edges to mend, in edgeRefs
        std::int32_t edgeCount = 0;
    };
    // A point of a line, with its place along it and, for a crossing, the
    // other line through it.
    struct Member {
        Point2* point = nullptr;
        double along = 0.0;
        std::int32_t otherLine = -1;
        std::int32_t next = -1;
    };

    // An edge to mend, by the arena slots of its two ends.
    struct EdgeRef {
        std::int32_t from = 0;
        std::int32_t to = 0;
    };
    // The points an edge gains: count of them from first in sorted, walked
    // backwards when count is negative.
    struct Range {
        std::int32_t first = 0;
        std::int32_t count = 0;
    };

    std::unique_ptr<Line[]> lines;
    std::unique_ptr<Member[]> members;
    std::unique_ptr<Member[]> sorted;  // the points of every line mending asked for
    std::int32_t sortedCapacity = 0;
    std::int32_t sortedCount = 0;
    std::int32_t lineCapacity = 0;
    std::int32_t memberCapacity = 0;
    std::int32_t lineCount = 0;
    std::int32_t memberCount = 0;
    bool full = false;  // something was refused this frame: draw it unmended
    // Mending's own, each sized to the arena's slots or points.
    std::unique_ptr<Polygon*[]> mendList;
    std::unique_ptr<EdgeRef[]> edgeRefs;
    std::unique_ptr<Range[]> ranges;           // by the slot of the edge's first end
    std::unique_ptr<std::int32_t[]> rankLine;  // by point: the line rank is on
    std::unique_ptr<std::int32_t[]> rank;      // by point: its place in that line's order
    std::int32_t slotCapacity = 0;
    std::int32_t pointCapacity = 0;
    std::int32_t mendCount = 0;

    LineTable() = default;
    ~LineTable() { release(); }
    LineTable(const LineTable&) = delete;
    LineTable& operator=(const LineTable&) = delete;

    // Room for a frame that makes up to this many points and vertex slots.
    bool create(std::int32_t points, std::int32_t slots);
    void release();
    void reset();

    // A new line through a and b; -1 when full or either is missing.
    std::int32_t newLine(Point2* a, Point2* b);
    bool isLine(std::int32_t line) const { return line >= 0 && line < lineCount; }
    // The crossing of two lines once made, else null.
    Point2* crossingOf(std::int32_t line1, std::int32_t line2) const;
    void addCrossing(std::int32_t line1, std::int32_t line2, Point2* point);
    void addMember(std::int32_t line, Point2* point, std::int32_t otherLine = -1);

    // Gives every polygon the record draws, on each edge, the points of the
    // edge's line that lie between its ends. False when the frame had no room
    // (it is then drawn as cut).
    bool mend(const FrameRecord& record);

private:
    // Where a mended polygon is written: the arena's free slots.
    struct Span {
        Point2** points = nullptr;
        std::int32_t* lines = nullptr;
        std::int32_t room = 0;
        std::int32_t count = 0;
    };
    double alongLine(const Line& line, const Point2* point) const;
    const Member* sortedPoints(std::int32_t line);
    bool listPolygons(const FrameRecord& record);
    void listEdges();
    std::int32_t rankOf(const Point2* point, std::int32_t line) const;
    bool rangeEdges();
    bool mendPolygon(Polygon& polygon, Span& out) const;
};
