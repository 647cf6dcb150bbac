#pragma once

#include <cstdint>
#include <memory>

#include "render/polygon.h"

// The lines the frame's polygon edges lie on, and every point made on each.
// A line is made once for what it stands for (an object edge as projected
// into one view, a window edge, the cut a view's plane makes through a face)
// and named by its index, which every edge on it carries beside its vertex
// slot (FrameArena::slotLines) and every clip edge carries along. Every
// crossing of two lines is made once and kept on both; a vertex a cut finds
// on its line joins it. That is what lets the frame's T-junctions be mended
// exactly, by pointer, once everything is cut (render/mend.h).
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
    };
    // A point of a line, with its place along it and, for a crossing, the
    // other line through it.
    struct Member {
        Point2* point = nullptr;
        double along = 0.0;
        std::int32_t otherLine = -1;
        std::int32_t next = -1;
    };

    std::unique_ptr<Line[]> lines;
    std::unique_ptr<Member[]> members;
    std::int32_t lineCapacity = 0;
    std::int32_t memberCapacity = 0;
    std::int32_t lineCount = 0;
    std::int32_t memberCount = 0;
    bool full = false;  // something was refused this frame: draw it unmended

    LineTable() = default;
    ~LineTable() { release(); }
    LineTable(const LineTable&) = delete;
    LineTable& operator=(const LineTable&) = delete;

    // Room for a frame that makes up to this many points.
    bool create(std::int32_t points);
    void release();
    void reset();

    // A new line through a and b; -1 when full or either is missing.
    std::int32_t newLine(Point2* a, Point2* b);
    bool isLine(std::int32_t line) const { return line >= 0 && line < lineCount; }
    // The crossing of two lines once made, else null.
    Point2* crossingOf(std::int32_t line1, std::int32_t line2) const;
    void addCrossing(std::int32_t line1, std::int32_t line2, Point2* point);
    void addMember(std::int32_t line, Point2* point, std::int32_t otherLine = -1);
    // Where the point lies along the line, in the line's own units: what its
    // points are ordered by.
    double alongLine(const Line& line, const Point2* point) const;
};
