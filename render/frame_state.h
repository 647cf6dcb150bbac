#pragma once

#include <cstdint>

#include "render/frame_arena.h"
#include "render/frame_record.h"
#include "render/mend.h"
#include "render/pass_plan.h"
#include "render/render_stats.h"

// Everything the renderer keeps for a frame besides the frame arena, in one
// place: the record the views are written to, the mend's and the plan's
// working arrays, what the frames did, and the two switches tools and tests
// set between frames. Sized once with the arena; a frame only rewrites it.
struct FrameState {
    FrameRecord record;
    Mend mend;
    PassPlan plan;
    RenderStats stats;
    // False draws frames as cut, T-junctions and all: for pictures and counts
    // of what mending changes.
    bool mending = true;
    // False records a frame that runs out of room as it is, unopened views
    // and all, instead of again with the smallest windows left closed: for
    // measuring what a scene needs.
    bool trimming = true;
    // A view whose window covers less than this area of the projected plane
    // opens no children; 0 opens every view. Set by the frame.
    float minOpenArea = 0.0f;
    // True passes over what lies apart from what would cut it: an object
    // whose outline's box misses a view's window, a piece of a window whose
    // box misses a face's. Lines that miss a polygon can still cut it in
    // pieces, so such a frame shows the same in fewer pieces. Set with the
    // scene's budget: on with its open limit, off for a scene within the
    // standard sizes, whose frames stay exactly what they always were.
    bool skipApart = false;

    // Room for frames of up to this many commands in this arena; false (and
    // no room) when the memory cannot be had.
    bool create(std::int32_t commandCapacity, const FrameArena& arena);
    void release();
};

extern FrameState frameState;

// The bytes frames of an arena of these capacities take: the arena's pools,
// its line table and the mend's arrays (the record and the plan aside).
std::int64_t frameMemoryBytes(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                              std::int32_t slotCapacity);

// The frame arena with other capacities, and the state sized to match; false
// (and no arena, so frames draw nothing) when either cannot be had. Not for
// use inside a frame.
bool recreateFrameArena(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                        std::int32_t slotCapacity);
