#pragma once

#include <cstdint>

#include "render/render_backend.h"

// Draws the record through WebGL 1 (the GLES2 API): one shader program, the
// fans from one vertex buffer, additive blending, each piece of a window
// written once with the tints above it (render/pass_plan.h), and the
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
    void drawRecord(const FrameRecord& record) override;

private:
    struct Cursor {
        std::int32_t command = 0;
        const Polygon* polygon = nullptr;
    };
    Cursor stage(const FrameRecord& record, Cursor from, std::int32_t& vertexCount);
    void draw(const FrameRecord& record, Cursor from, Cursor to);
    void setColors(const FrameRecord& record, std::int32_t index);
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
    bool onePass_ = true;               // the picture is opaque
    bool blending_ = true;
};
