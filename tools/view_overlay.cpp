#include "tools/view_overlay.h"

bool SubtreeBackend::select(RenderBackend* inner, std::int32_t view, std::int32_t recordCapacity) {
    inner_ = inner;
    view_ = view;
    return slice_.create(recordCapacity) && slicePlan_.create(recordCapacity);
}

void SubtreeBackend::destroy() {
    if (inner_)
        inner_->destroy();
}

void SubtreeBackend::beginFrame(float aspect) {
    if (inner_)
        inner_->beginFrame(aspect);
}

void SubtreeBackend::drawRecord(const FrameRecord& record, const PassPlan&) {
    const CommandRange range = viewSubtree(record, view_);
    found_ = range.end > range.first;
    slice_.reset();
    for (std::int32_t i = range.first; i < range.end; ++i) {
        slice_.append(record.commands[i]);
    }
    if (inner_) {
        planPasses(slice_, inner_->passMode(), slicePlan_);
        inner_->drawRecord(slice_, slicePlan_);
    }
}
