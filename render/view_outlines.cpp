#include "render/view_outlines.h"

#include <algorithm>
#include <cmath>

namespace {

// Depth 0 white, then hues far apart, so neighbouring depths never look alike.
const Color kDepthColors[] = {
    {1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 0.85f, 0.1f, 1.0f}, {0.1f, 0.9f, 1.0f, 1.0f},
    {1.0f, 0.3f, 0.9f, 1.0f}, {0.3f, 1.0f, 0.3f, 1.0f},  {1.0f, 0.5f, 0.1f, 1.0f},
    {1.0f, 0.2f, 0.2f, 1.0f},
};
constexpr int kDepthColorCount = sizeof kDepthColors / sizeof kDepthColors[0];
constexpr float kMirroredShade = 0.5f;

// Window units; the screen is 2.2 high.
constexpr float kDash = 0.03f;
constexpr float kDashGap = 0.02f;

bool add(std::vector<OutlineSegment>& out, Point2 from, Point2 to, const Color& color) {
    if (out.size() >= out.capacity()) {
        return false;
    }
    out.push_back(OutlineSegment{from, to, color});
    return true;
}

bool addDashed(std::vector<OutlineSegment>& out, Point2 from, Point2 to, const Color& color) {
    const float dx = to.x - from.x;
    const float dy = to.y - from.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0f)) {
        return true;
    }
    bool complete = true;
    for (float start = 0.0f; start < length; start += kDash + kDashGap) {
        const float a = start / length;
        const float b = std::min(start + kDash, length) / length;
        complete &= add(out, Point2{from.x + dx * a, from.y + dy * a},
                        Point2{from.x + dx * b, from.y + dy * b}, color);
    }
    return complete;
}

bool addWindow(std::vector<OutlineSegment>& out, const DrawCommand& command) {
    const Color color = outlineColor(command.depth, command.kind);
    bool complete = true;
    for (const Polygon* polygon = command.polygons; polygon; polygon = polygon->next) {
        for (std::int32_t i = 0; i < polygon->vertexCount; ++i) {
            const Point2* from = polygon->vertices[i];
            const Point2* to = polygon->vertices[(i + 1) % polygon->vertexCount];
            if (!from || !to) {
                continue;
            }
            complete &= command.kind == ViewKind::Mirrored ? addDashed(out, *from, *to, color)
                                                           : add(out, *from, *to, color);
        }
    }
    return complete;
}

// Strokes in a unit cell (x right, y up): seven-segment digits, M and R.
struct Stroke {
    float x0, y0, x1, y1;
};
const Stroke kSegments[7] = {
    {0, 1, 1, 1},    {1, 1, 1, 0.5f}, {1, 0.5f, 1, 0},    {0, 0, 1, 0},
    {0, 0, 0, 0.5f}, {0, 0.5f, 0, 1}, {0, 0.5f, 1, 0.5f},
};
// Bits a..g of each digit, a lowest.
const unsigned char kDigitSegments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66,
                                          0x6d, 0x7d, 0x07, 0x7f, 0x6f};
const Stroke kLetterM[] = {{0, 0, 0, 1}, {0, 1, 0.5f, 0.4f}, {0.5f, 0.4f, 1, 1}, {1, 1, 1, 0}};
const Stroke kLetterR[] = {
    {0, 0, 0, 1}, {0, 1, 1, 1}, {1, 1, 1, 0.5f}, {1, 0.5f, 0, 0.5f}, {0.4f, 0.5f, 1, 0}};

struct Pen {
    float x;
    float y;
    float width;
    float height;
};

bool addStroke(std::vector<OutlineSegment>& out, const Pen& pen, const Stroke& s,
               const Color& color) {
    return add(out, Point2{pen.x + s.x0 * pen.width, pen.y + s.y0 * pen.height},
               Point2{pen.x + s.x1 * pen.width, pen.y + s.y1 * pen.height}, color);
}

template <std::size_t N>
bool addGlyph(std::vector<OutlineSegment>& out, const Pen& pen, const Stroke (&strokes)[N],
              const Color& color) {
    bool complete = true;
    for (const Stroke& s : strokes) {
        complete &= addStroke(out, pen, s, color);
    }
    return complete;
}

bool addDigit(std::vector<OutlineSegment>& out, const Pen& pen, int digit, const Color& color) {
    bool complete = true;
    for (int i = 0; i < 7; ++i) {
        if (kDigitSegments[digit] & (1u << i)) {
            complete &= addStroke(out, pen, kSegments[i], color);
        }
    }
    return complete;
}

// A few parallel lines, so the swatch reads as a bar of colour.
bool addSwatch(std::vector<OutlineSegment>& out, float x, float y, float length, bool dashed,
               const Color& color) {
    bool complete = true;
    for (float dy : {-0.008f, 0.0f, 0.008f}) {
        const Point2 from{x, y + dy};
        const Point2 to{x + length, y + dy};
        complete &= dashed ? addDashed(out, from, to, color) : add(out, from, to, color);
    }
    return complete;
}

}  // namespace

Color outlineColor(int depth, ViewKind kind) {
    const Color base = kDepthColors[std::clamp(depth, 0, kDepthColorCount - 1)];
    if (kind != ViewKind::Mirrored) {
        return base;
    }
    return Color(base.r * kMirroredShade, base.g * kMirroredShade, base.b * kMirroredShade, 1.0f);
}

CommandRange viewSubtree(const FrameRecord& record, std::int32_t view) {
    CommandRange range;
    if (view == -1) {
        range.end = record.count;
        return range;
    }
    if (view < 0 || view >= record.count || record.commands[view].pass != DrawPass::Fill) {
        return range;
    }
    // Everything after the view's Fill that is deeper than it, and its own
    // Environment, belongs to it; the next sibling or ancestor ends it.
    const std::int16_t depth = record.commands[view].depth;
    std::int32_t end = view + 1;
    while (end < record.count && (record.commands[end].depth > depth ||
                                  (record.commands[end].view == view &&
                                   record.commands[end].pass == DrawPass::Environment))) {
        ++end;
    }
    range.first = view;
    range.end = end;
    return range;
}

bool appendViewOutlines(const FrameRecord& record, CommandRange range,
                        std::vector<OutlineSegment>& out) {
    bool complete = true;
    // Solid outlines first: a mirrored view and its refracted twin share
    // their window, and the dashes must stay visible on top.
    for (const bool mirrored : {false, true}) {
        for (std::int32_t i = std::max(range.first, 0); i < std::min(range.end, record.count);
             ++i) {
            const DrawCommand& command = record.commands[i];
            if (command.pass == DrawPass::Fill &&
                (command.kind == ViewKind::Mirrored) == mirrored) {
                complete &= addWindow(out, command);
            }
        }
    }
    return complete;
}

int deepestView(const FrameRecord& record, CommandRange range) {
    int deepest = -1;
    for (std::int32_t i = std::max(range.first, 0); i < std::min(range.end, record.count); ++i) {
        deepest = std::max(deepest, static_cast<int>(record.commands[i].depth));
    }
    return deepest;
}

bool appendOutlineLegend(float aspect, int maxDepth, std::vector<OutlineSegment>& out) {
    const int lastDepth = std::clamp(maxDepth, 0, kDepthColorCount - 1);
    // Glyphs 0.06 high in the 0.1 border under the root window, all of it
    // shrunk alike where the window is too narrow for the legend (a phone
    // held upright), so that it is never cut off at the right.
    const float glyph = 0.035f;
    const float item = glyph + 0.02f + 0.1f;
    const float width = float(lastDepth + 2) * (item + 0.06f) + 0.06f + item;
    const float scale = std::min(1.0f, 2.0f * aspect / width);
    Pen pen{-aspect, -1.08f, glyph * scale, 0.06f * scale};
    const float swatchY = pen.y + pen.height * 0.5f;
    const float swatchLength = 0.1f * scale;
    const float gap = 0.02f * scale;
    const float itemGap = 0.06f * scale;
    bool complete = true;
    for (int depth = 0; depth <= lastDepth; ++depth) {
        const Color color = outlineColor(depth, ViewKind::Refracted);
        complete &= addDigit(out, pen, depth, color);
        pen.x += pen.width + gap;
        complete &= addSwatch(out, pen.x, swatchY, swatchLength, false, color);
        pen.x += swatchLength + itemGap;
    }
    pen.x += itemGap;
    const Color grey(0.8f, 0.8f, 0.8f, 1.0f);
    complete &= addGlyph(out, pen, kLetterM, grey);
    pen.x += pen.width + gap;
    complete &=
        addSwatch(out, pen.x, swatchY, swatchLength, true, outlineColor(0, ViewKind::Mirrored));
    pen.x += swatchLength + itemGap;
    complete &= addGlyph(out, pen, kLetterR, grey);
    pen.x += pen.width + gap;
    complete &=
        addSwatch(out, pen.x, swatchY, swatchLength, false, outlineColor(0, ViewKind::Refracted));
    return complete;
}
