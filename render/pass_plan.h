#pragma once

#include <cstdint>
#include <memory>

#include "render/draw_rules.h"
#include "render/frame_record.h"

// The passes a backend that batches (fast, WebGL) sends for a recorded
// frame, planned once after the mend, in the order they are drawn.
//
// As recorded, every command is a pass of its own: a view's tint over its
// whole window, then its environment over the pieces left, so most pixels
// are written two or three times.
//
// Merged, each piece of a window is written once: a view whose pieces and
// children tile its window (DrawCommand::windowTiled) sends no tint pass;
// its tint goes down, summed, into the environment pass of every view below
// it, which adds tint and environment in one go. A mirrored view and its
// refracted twin share a window, so only the refracted one takes its parent's
// tint. A view whose window is not tiled sends its summed tint as a pass over
// its whole window, as recorded, and its children start from nothing.
//
// None plans nothing: for a backend that draws the record itself.
enum class PassMode : std::uint8_t { None, AsRecorded, Merged };

struct PlannedPass {
    std::int32_t command = 0;  // the record entry whose polygons it fills
    // Merged, the root's environment is the only pass on its pixels, which
    // are still clear: it is written without blending, after every other.
    bool blended = true;
    PassColors colors;
};

// Drawn in this order: the flat passes (tints), then the textured ones, each
// in record order, then the passes written without blending. llvmpipe's
// blend rounds with the colour already in the pixel, so adding a view's tint
// before the environments inside it, as the exact backend does, keeps the
// sums closest to its picture.
struct PassPlan {
    std::unique_ptr<PlannedPass[]> passes;
    std::unique_ptr<Rgba[]> carried;  // by a view's Fill entry: the tint it carries
    std::int32_t capacity = 0;        // in record commands
    std::int32_t count = 0;

    // Room for records of up to this many commands; false (and no room) when
    // the memory cannot be had.
    bool create(std::int32_t commandCapacity);
    void release();
};

// Plans every command of the record; a record larger than the plan's room is
// planned up to that room.
void planPasses(const FrameRecord& record, PassMode mode, PassPlan& plan);

// Pixel writes of a planned frame: the area of every pass, over the root
// window's area (0 for a record without a root).
double pixelWritesPerPixel(const FrameRecord& record, const PassPlan& plan);
