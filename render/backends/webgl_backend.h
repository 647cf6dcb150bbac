#pragma once

#include <cstdint>

#include "render/render_backend.h"

// Draws the record through WebGL 1 (the GLES2 API): one shader program, the
// fans from one vertex buffer, additive blending, each piece of a window
// written once with the tints above it, as the frame's pass plan says
// (render/pass_plan.h), and the
// environment texture with its mipmap chain built on the CPU. Each pixel receives what
// the desktop's fixed-function drawing gives it: the colour clamped to
// [0, 1], times the texel for the environment, added with weight alpha.
class WebGlBackend final : public RenderBackend {
public:
    WebGlBackend() = default;
    ~WebGlBackend() override;
    WebGlBackend(const WebGlBackend&) = delete;
    WebGlBackend& operator=(const WebGlBackend&) = delete;

    const char* name() const override { return "webgl"; }
    bool create(const Image& picture) override;
    void destroy() override;
    void beginFrame(float aspect) override;
    // Merged where every texel is opaque.
    PassMode passMode() const override {
        return onePass_ ? PassMode::Merged : PassMode::AsRecorded;
    }
    void drawRecord(const FrameRecord& record, const PassPlan& plan) override;

private:
    // A fan in the staging array: its pass in the plan and its vertices.
    struct StagedFan {
        std::int32_t pass = 0;
        std::int32_t size = 0;
    };
    void flush(const PassPlan& plan);
    void setColors(const PlannedPass& planned);
    static void setCulling(bool on);
    bool createTexture(const Image& picture);

    std::uint32_t program_ = 0;
    std::uint32_t vertexBuffer_ = 0;
    std::uint32_t texture_ = 0;
    std::int32_t scaleLocation_ = -1;
    std::int32_t offsetLocation_ = -1;
    std::int32_t textureScaleLocation_ = -1;
    std::int32_t tintLocation_ = -1;
    std::int32_t environmentColorLocation_ = -1;
    // Vertex positions (x, y) of the fans in flight, made in create so a frame
    // allocates nothing.
    float* staging_ = nullptr;
    std::int32_t stagingCapacity_ = 0;  // in vertices
    std::int32_t stagedVertices_ = 0;
    StagedFan* fans_ = nullptr;
    std::int32_t fanCapacity_ = 0;
    std::int32_t fanCount_ = 0;
    bool onePass_ = true;  // the picture is opaque
    bool blending_ = true;
};
