#pragma once

#include <cstdint>

#include "render/draw_rules.h"
#include "render/frame_record.h"

// Which pass a backend sends for each recorded command.
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
enum class PassMode : std::uint8_t { AsRecorded, Merged };

struct PlannedPass {
    bool drawn = false;  // false: the command sends nothing
    // Merged, the root's environment is the only pass on its pixels, which
    // are still clear: it may be written without blending, in any order.
    bool replaces = false;
    PassColors colors;
};

// The tints of the view whose Fill is at `view` and of the views above it
// that hand theirs down to it, premultiplied and summed; alpha unused.
Rgba carriedTint(const FrameRecord& record, std::int32_t view);

PlannedPass planPass(const FrameRecord& record, std::int32_t index, PassMode mode);

// Pixel writes of a frame: the area of every pass sent, over the root
// window's area (0 for a record without a root).
double pixelWritesPerPixel(const FrameRecord& record, PassMode mode);
