#pragma once

#include <cstdint>

#include "math/color.h"
#include "render/polygon.h"

// What one frame draws, in the order it is drawn: the traversal (front end)
// appends, a backend draws. The polygons are the frame arena's own, so a
// record is valid until the arena's next reset.

enum class DrawPass : std::uint8_t {
    Fill,         // the window as the view is entered, untextured, in color
    Environment,  // what is left of the window, textured, in color
};

enum class ViewKind : std::uint8_t { Root, Mirrored, Refracted };

struct DrawCommand {
    DrawPass pass = DrawPass::Fill;
    ViewKind kind = ViewKind::Root;
    std::int16_t depth = 0;  // faces looked through: 0 for the root
    // The view this command belongs to (the index of its Fill command) and
    // its parent's (-1 for the root). A view's children come between its Fill
    // and its Environment; a mirrored child and its refracted twin share one
    // window.
    std::int32_t view = 0;
    std::int32_t parent = -1;
    // Fill only: the view's uncovered pieces and its children's windows (one
    // of each pair of twins) cover its window exactly once, so its tint may
    // be drawn with them rather than over the whole window. False where an
    // object that is not convex cut the window (its faces may overlap or
    // leave gaps), where the view's plane cuts an object and the section
    // faces the eye (no face covers it), or where the frame ran out of room
    // under the view.
    bool windowTiled = false;
    Color color;                 // unclamped, as the traversal computed it
    float textureOffset = 0.0f;  // the eye's height; environment only
    std::int32_t polygonCount = 0;
    const Polygon* polygons = nullptr;
};

struct FrameRecord {
    DrawCommand* commands = nullptr;
    std::int32_t capacity = 0;
    std::int32_t count = 0;
    bool overflowed = false;  // an append was refused since the last reset
    // A view left an object out: its outline could need more edges than the
    // traversal's edge table holds.
    bool objectSkipped = false;
    // Views whose window was under the frame's open limit: drawn, opening no
    // children.
    std::int32_t viewsLeftClosed = 0;
    // Recorded again with the smallest windows left closed, as the views the
    // budget opens did not fit the frame's memory.
    bool trimmed = false;

    FrameRecord() = default;
    ~FrameRecord() { release(); }
    FrameRecord(const FrameRecord&) = delete;
    FrameRecord& operator=(const FrameRecord&) = delete;

    // False (and no storage) for a negative capacity or when it cannot be had.
    bool create(std::int32_t commandCapacity);
    void release();
    void reset() {
        count = 0;
        overflowed = false;
        objectSkipped = false;
        viewsLeftClosed = 0;
        trimmed = false;
    }
    // The new command's index, or -1 (and overflowed set) when full.
    std::int32_t append(const DrawCommand& command);
};

// Counts taken from a record: what a backend that draws every recorded
// polygon as one fan sends (Fan: a mended polygon's fan has its centre and
// its first vertex again). Fills with alpha 0 add nothing under the additive
// blend and are not sent.
struct RecordCounts {
    std::int64_t views = 0;
    std::int64_t fans = 0;
    std::int64_t vertices = 0;
};
RecordCounts countRecord(const FrameRecord& record);

// True when a command sends nothing to the screen.
inline bool isInvisible(const DrawCommand& command) {
    return command.pass == DrawPass::Fill && command.color.a == 0.0f;
}
