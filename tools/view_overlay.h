#pragma once

#include <cstdint>
#include <vector>

#include "render/backends/outline_lines.h"
#include "render/frame_record.h"
#include "render/render_backend.h"
#include "render/view_outlines.h"

// The view overlay of `glasswake-tool render`: a backend that draws only
// one view and what is seen through it (the outlines themselves are drawn by
// render/backends/outline_lines.h).

// Passes everything to the backend it wraps, but draws only the commands of
// one view's subtree (all of them for view -1).
class SubtreeBackend final : public RenderBackend {
public:
    // False when the copy of the record cannot be had.
    bool select(RenderBackend* inner, std::int32_t view, std::int32_t recordCapacity);
    // The last frame had a view of that index.
    bool found() const { return found_; }

    const char* name() const override { return inner_ ? inner_->name() : "subtree"; }
    bool create(const Image& picture) override { return inner_ && inner_->create(picture); }
    void destroy() override;
    void beginFrame(float aspect) override;
    PassMode passMode() const override { return inner_ ? inner_->passMode() : PassMode::None; }
    // Plans the slice again: its passes are not the whole frame's.
    void drawRecord(const FrameRecord& record, const PassPlan& plan) override;

private:
    RenderBackend* inner_ = nullptr;
    std::int32_t view_ = -1;
    bool found_ = false;
    FrameRecord slice_;
    PassPlan slicePlan_;
};
