#include "render/pass_plan.h"

#include <new>

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

// The tints of the view whose Fill is at `view` and of the views above it
// that hand theirs down to it, premultiplied and summed; alpha unused.
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

// What command `index` sends, if anything; carried holds the tint of every
// view recorded before it.
bool planCommand(const FrameRecord& record, std::int32_t index, PassMode mode, const Rgba* carried,
                 PlannedPass& planned) {
    const DrawCommand& command = record.commands[index];
    const bool tiled = tintsDown(record, command.view, mode);
    planned.command = index;
    planned.colors = passColors(command);
    planned.blended = true;
    if (command.pass == DrawPass::Fill) {
        if (tiled) {
            return false;  // its tint goes with the passes below it
        }
        if (mode == PassMode::Merged) {
            planned.colors.tint = carried[index];
            planned.colors.tint.c[3] = 1.0f;
        }
        return !planned.colors.tint.addsNothing();
    }
    if (tiled) {
        const Rgba tint = carried[command.view];
        if (tint.c[0] > 0.0f || tint.c[1] > 0.0f || tint.c[2] > 0.0f) {
            // Both in one pass: each premultiplied, the result's alpha 1
            // (the tint's alpha stays 0).
            planned.colors.tint = tint;
            planned.colors.environment = planned.colors.environment.premultiplied(1.0f);
            planned.blended = command.kind != ViewKind::Root;
            return true;
        }
    }
    return !planned.colors.environment.addsNothing();
}

int drawGroup(const PlannedPass& pass) {
    return !pass.blended ? 2 : pass.colors.textured ? 1 : 0;
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

bool PassPlan::create(std::int32_t commandCapacity) {
    release();
    if (commandCapacity < 0) {
        return false;
    }
    passes.reset(new (std::nothrow) PlannedPass[static_cast<std::size_t>(commandCapacity)]);
    carried.reset(new (std::nothrow) Rgba[static_cast<std::size_t>(commandCapacity)]);
    if (!passes || !carried) {
        release();
        return false;
    }
    capacity = commandCapacity;
    return true;
}

void PassPlan::release() {
    passes.reset();
    carried.reset();
    capacity = 0;
    count = 0;
}

void planPasses(const FrameRecord& record, PassMode mode, PassPlan& plan) {
    plan.count = 0;
    if (mode == PassMode::None) {
        return;
    }
    const std::int32_t commands = record.count < plan.capacity ? record.count : plan.capacity;
    // Each view's carried tint once, at its Fill, before any pass reads it.
    for (std::int32_t i = 0; i < commands; ++i) {
        if (mode == PassMode::Merged && record.commands[i].pass == DrawPass::Fill) {
            plan.carried[i] = carriedTint(record, i);
        }
    }
    // One sweep per group keeps record order inside each.
    for (int group = 0; group < 3; ++group) {
        for (std::int32_t i = 0; i < commands; ++i) {
            PlannedPass planned;
            if (planCommand(record, i, mode, plan.carried.get(), planned) &&
                drawGroup(planned) == group) {
                plan.passes[plan.count++] = planned;
            }
        }
    }
}

double pixelWritesPerPixel(const FrameRecord& record, const PassPlan& plan) {
    if (record.count <= 0 || record.commands[0].kind != ViewKind::Root) {
        return 0.0;
    }
    const double root = commandArea(record.commands[0]);
    double drawn = 0.0;
    for (std::int32_t i = 0; i < plan.count; ++i) {
        drawn += commandArea(record.commands[plan.passes[i].command]);
    }
    return root > 0.0 ? drawn / root : 0.0;
}
