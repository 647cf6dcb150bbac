#pragma once

#include <cstdint>

#include "render/frame_arena.h"
#include "render/frame_record.h"

// What the renderer did in the last frame and since the counters were reset,
// read by tools and tests between frames.
struct RenderStats {
    // The last frame, counted from its record.
    std::int64_t viewsDrawn = 0;    // views recorded
    std::int64_t triangleFans = 0;  // fans a backend drawing every polygon once sends
    std::int64_t verticesSent =
        0;  // their vertices, a mended polygon's centre and closing one included
    std::int32_t commandsUsed = 0;  // frame record use
    std::int32_t polygonsUsed = 0;  // frame arena use at the end of the frame
    std::int32_t pointsUsed = 0;
    std::int32_t slotsUsed = 0;
    bool frameOverflowed = false;  // the arena, record or edge table refused something
    bool frameMended = false;      // every T-junction was mended (else drawn as cut)
    // Drawn whole only once the smallest windows were left closed.
    bool frameTrimmed = false;
    std::int32_t viewsLeftClosed = 0;  // views under the open limit
    // Since the last resetRenderStats.
    std::int64_t framesRendered = 0;
    std::int64_t overflowFrames = 0;
    std::int64_t unmendedFrames = 0;  // no room to mend them
    std::int64_t trimmedFrames = 0;
    std::int32_t peakPolygonsUsed = 0;
    std::int32_t peakPointsUsed = 0;
    std::int32_t peakSlotsUsed = 0;
    std::int32_t peakCommandsUsed = 0;
};

// The number of faces the eye may look through in a row is held to
// 0..kMaxFrameDepthBudget: the work grows with the visible faces raised to
// this power, and every level costs stack.
constexpr int kMaxFrameDepthBudget = 12;

// Clears every counter, cumulative ones included.
void resetRenderStats();

// The count step of a frame: the record's views, fans and vertices, the
// arena's and record's use, and whether it ran out of room or was mended
// (when mending was asked for).
void countFrame(RenderStats& stats, const FrameRecord& record, const FrameArena& arena,
                bool mendingAsked, bool mended);
