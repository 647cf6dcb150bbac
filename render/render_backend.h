#pragma once

#include "assets/image.h"
#include "render/draw_rules.h"
#include "render/frame_record.h"
#include "render/pass_plan.h"

// Draws recorded frames. Every call but name() needs the backend's context
// current, except destroy(), which may run after the context is gone (it
// then only forgets its objects).
class RenderBackend {
public:
    virtual ~RenderBackend() = default;
    virtual const char* name() const = 0;
    // Once the context is current: state and the environment texture from
    // picture (an empty picture gives a texture that adds nothing). False
    // when the context lacks what this backend needs.
    virtual bool create(const Image& picture) = 0;
    virtual void destroy() = 0;
    // Projection over window coordinates for this width/height ratio, clear,
    // additive blend state. The viewport is the shell's.
    virtual void beginFrame(float aspect) = 0;
    // How the frame's passes are to be planned for drawRecord; None for a
    // backend that draws the record itself.
    virtual PassMode passMode() const { return PassMode::None; }
    // Draws the frame: the exact backend the record itself, command by
    // command; the others replay the plan.
    virtual void drawRecord(const FrameRecord& record, const PassPlan& plan) = 0;
};

// Draws nothing: for timing the front end alone, or running it without a
// context.
class NoneBackend final : public RenderBackend {
public:
    const char* name() const override { return "none"; }
    bool create(const Image&) override { return true; }
    void destroy() override {}
    void beginFrame(float) override {}
    void drawRecord(const FrameRecord&, const PassPlan&) override {}
};
