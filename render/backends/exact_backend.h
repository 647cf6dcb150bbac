#pragma once

#include "render/backends/gl_texture.h"
#include "render/render_backend.h"

// Window coordinates onto the screen, as every backend and the view overlay
// project them: the projection and an identity model-view matrix.
void loadScreenProjection(float aspect);

// OpenGL 1.1 and GLU in immediate mode: every recorded command in order, the
// fill untextured, the environment textured, one triangle fan per polygon.
// Runs on any context the demo can have.
class ExactBackend final : public RenderBackend {
public:
    const char* name() const override { return "exact"; }
    bool create(const Image& picture) override;
    void destroy() override;
    void beginFrame(float aspect) override;
    void drawRecord(const FrameRecord& record, const PassPlan& plan) override;

private:
    Texture environment_;
};
