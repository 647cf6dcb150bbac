#include "render/pass_plan.h"

namespace {

bool isView(const FrameRecord& record, std::int32_t index) {
    return index >= 0 && index < record.count && record.commands[index].pass == DrawPass::Fill;
}

// A tint the blend adds as it is: its colour times its alpha, alpha 1.
Rgba premultipliedTint(const DrawCommand& fill) {
    return Rgba::clamped(fill.color).premultiplied(1.0f);
}

bool tintsDown(const FrameRecord& record, std::int32_t view, PassMode mode) {
    return mode == PassMode::Merged && isView(record, view) && record.commands[view].windowTiled;
}

double polygonArea(const Polygon& polygon) {
    double twice = 0.0;
    for (std::int32_t i = 0; i < polygon.vertexCount; ++i) {
        const Point2& a = *polygon.vertices[i];
        const Point2& b = *polygon.vertices[(i + 1) % polygon.vertexCount];
        twice += double(a.x) * double(b.y) - double(b.x) * double(a.y);
    }
    return (twice < 0.0 ? -twice : twice) / 2.0;
}

double commandArea(const DrawCommand& command) {
    double area = 0.0;
    for (const Polygon* polygon = command.polygons; polygon; polygon = polygon->next) {
        area += polygonArea(*polygon);
    }
    return area;
}

}  // namespace

Rgba carriedTint(const FrameRecord& record, std::int32_t view) {
    Rgba sum;
    // Parents come before their children, so the walk up always ends.
    for (std::int32_t at = view; isView(record, at);) {
        const DrawCommand& fill = record.commands[at];
        const Rgba tint = premultipliedTint(fill);
        for (int c = 0; c < 3; ++c) {
            sum.c[c] += tint.c[c];
        }
        if (fill.kind == ViewKind::Mirrored || fill.parent >= at ||
            !tintsDown(record, fill.parent, PassMode::Merged)) {
            break;
        }
        at = fill.parent;
    }
    for (float& channel : sum.c) {
        channel = Rgba::unit(channel);
    }
    return sum;
}

PlannedPass planPass(const FrameRecord& record, std::int32_t index, PassMode mode) {
    PlannedPass planned;
    if (index < 0 || index >= record.count) {
        return planned;
    }
    const DrawCommand& command = record.commands[index];
    const bool tiled = tintsDown(record, command.view, mode);
    if (command.pass == DrawPass::Fill) {
        if (tiled) {
            return planned;  // its tint goes with the passes below it
        }
        planned.colors = passColors(command);
        if (mode == PassMode::Merged) {
            planned.colors.tint = carriedTint(record, index);
            planned.colors.tint.c[3] = 1.0f;
        }
        planned.drawn = !planned.colors.tint.addsNothing();
        return planned;
    }
    planned.colors = passColors(command);
    if (tiled) {
        const Rgba tint = carriedTint(record, command.view);
        if (tint.c[0] > 0.0f || tint.c[1] > 0.0f || tint.c[2] > 0.0f) {
            // Both in one pass: each premultiplied, the result's alpha 1
            // (the tint's alpha stays 0).
            planned.colors.tint = tint;
            planned.colors.environment = planned.colors.environment.premultiplied(1.0f);
            planned.drawn = true;
            planned.replaces = command.kind == ViewKind::Root;
            return planned;
        }
    }
    planned.drawn = !planned.colors.environment.addsNothing();
    return planned;
}

double pixelWritesPerPixel(const FrameRecord& record, PassMode mode) {
    if (record.count <= 0 || record.commands[0].kind != ViewKind::Root) {
        return 0.0;
    }
    const double root = commandArea(record.commands[0]);
    double drawn = 0.0;
    for (std::int32_t i = 0; i < record.count; ++i) {
        if (planPass(record, i, mode).drawn) {
            drawn += commandArea(record.commands[i]);
        }
    }
    return root > 0.0 ? drawn / root : 0.0;
}
