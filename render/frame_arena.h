#pragma once

#include <cstdint>

#include "render/line_table.h"
#include "render/polygon.h"

// The three bump pools every frame's 2D geometry comes from. Rewound once per
// frame, never freed piece by piece. Every taker checks the capacity: a
// refused request hands out nothing, leaves the pools as they were and marks
// the frame as overflowed, so no frame can write beyond a block.
struct FrameArena {
    std::int32_t polygonCapacity = 0;
    std::int32_t pointCapacity = 0;
    std::int32_t slotCapacity = 0;
    Polygon* polygons = nullptr;
    Point2* points = nullptr;
    Point2** slots = nullptr;
    // Beside every slot, the line (LineTable index, -1 unknown) of the edge
    // from that slot's vertex to the next one of its polygon.
    std::int32_t* slotLines = nullptr;
    std::int32_t polygonsUsed = 0;
    std::int32_t pointsUsed = 0;
    std::int32_t slotsUsed = 0;
    Polygon* nextPolygon = nullptr;
    Point2* nextPoint = nullptr;
    Point2** nextSlot = nullptr;
    // Slots only mending may take: the cut pieces gain points on their edges
    // once the frame is cut, so a frame that fills the rest still tiles.
    std::int32_t slotsHeldBack = 0;
    bool overflowed = false;  // a request was refused since the last reset
    bool ready = false;       // created and not released

    FrameArena() = default;
    ~FrameArena() { release(); }
    FrameArena(const FrameArena&) = delete;
    FrameArena& operator=(const FrameArena&) = delete;

    // False (and an empty arena) for negative capacities or when the blocks
    // cannot be obtained.
    bool create(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                std::int32_t slotCapacity);
    void reset();
    void release();
    bool isReady() const { return ready; }

    // True when this many nodes, points and slots can still be taken; marks
    // the frame as overflowed otherwise. Lets a step reserve all it needs
    // before it starts, so it never stops half way.
    bool hasRoom(std::int32_t polygonCount, std::int32_t pointCount, std::int32_t slotCount);

    Polygon* newPolygon();               // null when the pool is used up
    Point2* newPoint(float x, float y);  // null when the pool is used up
    // Null when fewer than n are left; mending may use the held-back slots
    // and does not mark the frame as overflowed.
    Point2** takeSlots(std::int32_t n, bool mending = false);
    // The free slots mending may write before it takes them, and how many.
    Point2** freeSlots(std::int32_t& room) const {
        room = ready ? slotCapacity - slotsUsed : 0;
        return nextSlot;
    }
    std::int32_t* linesOf(Point2* const* vertexSlots) const {
        return slotLines + (vertexSlots - slots);
    }

    LineTable lines;  // rewound and sized with the pools
};

extern FrameArena frameArena;
