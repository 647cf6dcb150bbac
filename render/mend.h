#pragma once

#include <cstdint>
#include <memory>

#include "render/frame_arena.h"
#include "render/frame_record.h"
#include "render/line_table.h"

// The frame's T-junction mend, run once everything is cut: every polygon the
// record draws gains, on each edge, the points of the edge's line that lie
// between its ends (the crossings and vertices its neighbours made there), so
// the pieces tile their windows exactly and no pixel along a shared edge is
// left out or drawn twice. Lines and points come from the arena's line
// table; the working arrays are the mend's own, sized once, rewritten by each
// frame, never allocated inside one. A mended polygon is written into the
// arena's free slots and drawn as a fan round its centre.
struct Mend {
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
    // Per line of the table: where its points lie in order (in sorted, -1 not
    // yet) and where its edges are listed (in edgeRefs).
    struct LineEdges {
        std::int32_t sorted = -1;
        std::int32_t firstEdge = 0;
        std::int32_t edgeCount = 0;
    };

    std::unique_ptr<LineEdges[]> lineEdges;       // by line
    std::unique_ptr<LineTable::Member[]> sorted;  // the points of every line an edge asked for
    std::unique_ptr<Polygon*[]> polygons;         // the record's polygons, each once
    std::unique_ptr<std::uint32_t[]> listedIn;    // by arena polygon: the frame that listed it
    std::unique_ptr<EdgeRef[]> edgeRefs;
    std::unique_ptr<Range[]> ranges;           // by the slot of the edge's first end
    std::unique_ptr<std::int32_t[]> rankLine;  // by point: the line rank is on
    std::unique_ptr<std::int32_t[]> rank;      // by point: its place in that line's order
    std::int32_t lineCapacity = 0;
    std::int32_t sortedCapacity = 0;
    std::int32_t polygonCapacity = 0;
    std::int32_t pointCapacity = 0;
    std::int32_t slotCapacity = 0;
    std::int32_t sortedCount = 0;
    std::int32_t polygonCount = 0;
    std::uint32_t frame = 0;

    Mend() = default;
    Mend(const Mend&) = delete;
    Mend& operator=(const Mend&) = delete;

    // Room for frames of an arena of these capacities; false (and no room)
    // when the memory cannot be had.
    bool create(const FrameArena& arena);
    void release();

    // Mends every polygon the record draws. False when the frame had no room
    // (or the arena outgrew the mend): it is then drawn as cut. With
    // fromCorners, a mended polygon with a corner whose two edges gained no
    // points starts at that corner and is drawn as a fan from it (a scene
    // within the standard sizes keeps its frames to the bit: fans round the
    // centre).
    bool run(const FrameRecord& record, FrameArena& arena, bool fromCorners = false);

private:
    struct Span;
    const LineTable::Member* sortedPoints(const LineTable& table, std::int32_t line);
    bool listPolygons(const FrameRecord& record, const FrameArena& arena);
    void listEdges(const FrameArena& arena);
    std::int32_t rankOf(const FrameArena& arena, const Point2* point, std::int32_t line) const;
    bool rangeEdges(const FrameArena& arena);
    bool mendPolygon(Polygon& polygon, FrameArena& arena, Span& out) const;
    static void startAtCorner(Polygon& polygon, const FrameArena& arena);
};
