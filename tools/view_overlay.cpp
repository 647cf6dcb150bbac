#include "tools/view_overlay.h"

#include <algorithm>

#include "render/backends/exact_backend.h"
#include "render/backends/gl.h"

void drawOutlineSegments(const std::vector<OutlineSegment>& segments, float aspect) {
    loadScreenProjection(aspect);
    const GLboolean blend = glIsEnabled(GL_BLEND);
    const GLboolean texture = glIsEnabled(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (const OutlineSegment& segment : segments) {
        glColor3f(segment.color.r, segment.color.g, segment.color.b);
        glVertex2f(segment.from.x, segment.from.y);
        glVertex2f(segment.to.x, segment.to.y);
    }
    glEnd();
    if (blend)
        glEnable(GL_BLEND);
    if (texture)
        glEnable(GL_TEXTURE_2D);
}

bool SubtreeBackend::select(RenderBackend* inner, std::int32_t view, std::int32_t recordCapacity) {
    inner_ = inner;
    view_ = view;
    return slice_.create(recordCapacity);
}

void SubtreeBackend::destroy() {
    if (inner_)
        inner_->destroy();
}

void SubtreeBackend::beginFrame(float aspect) {
    if (inner_)
        inner_->beginFrame(aspect);
}

void SubtreeBackend::drawRecord(const FrameRecord& record) {
    const CommandRange range = viewSubtree(record, view_);
    found_ = range.end > range.first;
    slice_.reset();
    for (std::int32_t i = range.first; i < range.end; ++i) {
        slice_.append(record.commands[i]);
    }
    if (inner_)
        inner_->drawRecord(slice_);
}
