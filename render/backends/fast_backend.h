#pragma once

#include <cstdint>
#include <memory>

#include "render/backends/exact_backend.h"
#include "render/backends/gl_texture.h"
#include "render/render_backend.h"

// The exact backend's picture (channels within 2, rounded once) for less
// work: each piece of a window is written once, its environment and the
// tints of the views above it in one textured pass (a shader adds them; see
// render/pass_plan.h), the root's pieces without blending, the picture is
// sampled without mipmaps where it is only magnified, and every fan of the
// frame goes into one vertex array, drawn with one call for the flat and one
// for the textured passes (per chunk). Needs OpenGL 2.0 shaders; create() is
// false on a context without them.
class FastBackend final : public RenderBackend {
public:
    // Vertices held before a chunk is drawn (3 to 65536: 16-bit indices); a
    // frame with more draws in chunks. The default holds the busiest frame
    // seen at depth 6.
    explicit FastBackend(std::int32_t chunkVertices = 8192)
        : chunkVertices_(chunkVertices < 3       ? 3
                         : chunkVertices > 65536 ? 65536
                                                 : chunkVertices) {}

    const char* name() const override { return "fast"; }
    bool create(const Image& picture) override;
    void destroy() override;
    void beginFrame(float aspect) override;
    // Merged where every texel is opaque.
    PassMode passMode() const override {
        return oneTintedPass_ ? PassMode::Merged : PassMode::AsRecorded;
    }
    void drawRecord(const FrameRecord& record, const PassPlan& plan) override;

private:
    struct Vertex {
        float x, y, s, t;
        float color[4];  // as the exact backend's glColor, or see addFan
        float tint[3];   // added after texturing
    };
    void addPolygons(const Polygon* polygons, const PassColors& pass);
    void addFan(const Fan& fan, std::int32_t first, std::int32_t count, const PassColors& pass);
    void flush();
    void drawTriangles();

    Texture environment_;
    std::unique_ptr<Vertex[]> vertices_;
    std::unique_ptr<std::uint16_t[]> texturedIndices_;
    std::unique_ptr<std::uint16_t[]> flatIndices_;
    std::int32_t chunkVertices_;
    std::int32_t vertexCount_ = 0;
    std::int32_t texturedCount_ = 0;
    std::int32_t flatCount_ = 0;
    std::uint32_t program_ = 0;
    std::int32_t textureSide_ = 0;  // the larger side of the picture's level 0
    std::int32_t minFilter_ = 0;
    bool oneTintedPass_ = true;
    bool blending_ = true;
};

// Fast where the context allows it, exact otherwise: the choice can only be
// made in create(), once a context is current.
class AutoBackend final : public RenderBackend {
public:
    const char* name() const override { return active_->name(); }
    bool create(const Image& picture) override;
    void destroy() override;
    void beginFrame(float aspect) override { active_->beginFrame(aspect); }
    PassMode passMode() const override { return active_->passMode(); }
    void drawRecord(const FrameRecord& record, const PassPlan& plan) override {
        active_->drawRecord(record, plan);
    }

private:
    FastBackend fast_;
    ExactBackend exact_;
    RenderBackend* active_ = &fast_;
};
