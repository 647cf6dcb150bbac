#pragma once

#include <cstdint>
#include <vector>

#include "math/color.h"
#include "render/frame_record.h"
#include "render/render_backend.h"

// The outlines of the views' windows as coloured line segments in window
// coordinates, for pictures that explain a frame: any program with a line
// drawer can show them over the frame it has just drawn. Built from a frame
// record, so they are valid as long as the record is.

struct OutlineSegment {
    Point2 from;
    Point2 to;
    Color color;
};

// A view's outline colour: one hue per depth (the last one repeats deeper
// down); mirrored views in a darker shade of it, so a mirrored outline
// dashed over its refracted twin's solid one still shows.
Color outlineColor(int depth, ViewKind kind);

// The commands of one view and of everything seen through it: they follow
// its Fill command up to and including its Environment command.
struct CommandRange {
    std::int32_t first = 0;
    std::int32_t end = 0;  // one past the last
};
// The whole record for view -1; an empty range when view is not the index
// of a Fill command.
CommandRange viewSubtree(const FrameRecord& record, std::int32_t view);

// Appends the outline of the window of every view whose Fill command lies in
// range: each polygon edge, solid for the root and refracted views, dashed
// for mirrored ones (drawn after the solid ones). Appends only while `out`
// has capacity left, so a reserved vector never grows; false when segments
// had to be left out.
bool appendViewOutlines(const FrameRecord& record, CommandRange range,
                        std::vector<OutlineSegment>& out);

// The deepest view in range (-1 when there is none).
int deepestView(const FrameRecord& record, CommandRange range);

// A legend in the border under the root window: for every depth 0..maxDepth
// its digit and a swatch in its colour, then "M" with a dashed swatch
// (mirrored) and "R" with a solid one (refracted). Same capacity rule.
bool appendOutlineLegend(float aspect, int maxDepth, std::vector<OutlineSegment>& out);
