#pragma once

#include <cstdint>

#include "render/frame_arena.h"
#include "render/frame_record.h"
#include "render/mend.h"
#include "render/pass_plan.h"
#include "render/render_stats.h"

// Everything the renderer keeps for a frame besides the frame arena, in one
// place: the record the views are written to, the mend's and the plan's
// working arrays, what the frames did, and the one switch tools and tests
// set between frames. Sized once with the arena; a frame only rewrites it.
struct FrameState {
    FrameRecord record;
    Mend mend;
    PassPlan plan;
    RenderStats stats;
    // False draws frames as cut, T-junctions and all: for pictures and counts
    // of what mending changes.
    bool mending = true;

    // Room for frames of up to this many commands in this arena; false (and
    // no room) when the memory cannot be had.
    bool create(std::int32_t commandCapacity, const FrameArena& arena);
    void release();
};

extern FrameState frameState;

// The frame arena with other capacities, and the state sized to match; false
// (and no arena, so frames draw nothing) when either cannot be had. Not for
// use inside a frame.
bool recreateFrameArena(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                        std::int32_t slotCapacity);
