#pragma once

#include <cstdint>

// What the renderer did in the last frame, and switches for measuring it.
// Plain globals, read and set by tools and tests between frames.
struct RenderStats {
    // The last frame, counted from its record.
    std::int64_t viewsDrawn = 0;    // views recorded
    std::int64_t triangleFans = 0;  // fans a backend drawing every polygon once would send
    std::int64_t verticesSent = 0;  // their vertices
    std::int32_t commandsUsed = 0;  // frame record use
    std::int32_t polygonsUsed = 0;  // frame arena use at the end of the frame
    std::int32_t pointsUsed = 0;
    std::int32_t slotsUsed = 0;
    bool frameOverflowed = false;  // the arena, record or edge table refused something
    bool frameMended = false;      // every T-junction was mended (else drawn as cut)
    // Since the last resetRenderStats.
    std::int64_t framesRendered = 0;
    std::int64_t overflowFrames = 0;
    std::int64_t unmendedFrames = 0;  // no room to mend them
    std::int32_t peakPolygonsUsed = 0;
    std::int32_t peakPointsUsed = 0;
    std::int32_t peakSlotsUsed = 0;
    std::int32_t peakCommandsUsed = 0;
};

extern RenderStats renderStats;

// The number of faces the eye may look through in a row; the demo uses 2.
// A frame clamps it to 0..kMaxFrameDepthBudget: the work grows with the
// visible faces raised to this power, and every level costs stack.
extern int frameDepthBudget;
constexpr int kMaxFrameDepthBudget = 12;

// False draws frames as cut, T-junctions and all: for pictures and counts
// of what mending changes.
extern bool frameMending;

// Clears every counter, cumulative ones included.
void resetRenderStats();

// Replaces the frame arena with one of other capacities; false (and no
// arena, so frames draw nothing) when it cannot be created. Not for use
// inside a frame.
bool recreateFrameArena(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                        std::int32_t slotCapacity);

// Called by the frame around its traversal: clear the per-frame counters,
// then count the record and fold the arena and record use and any overflow
// into the totals.
void beginFrameStats();
void endFrameStats();
