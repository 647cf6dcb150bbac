#pragma once

#include <cstdint>

#include "assets/image.h"
#include "math/color.h"
#include "render/frame_record.h"
#include "render/polygon.h"

// How a recorded frame becomes pixels, whatever draws it: every backend and
// view overlay takes its numbers from here, so their pictures agree.

// Window coordinates onto the screen: x over +-kScreenHalfHeight * aspect,
// y over +-kScreenHalfHeight. The root window spans +-aspect by +-1, so a
// border is left around it.
constexpr float kScreenHalfHeight = 1.1f;

// What window coordinates are multiplied by to land in clip space.
inline Point2 clipScale(float aspect) {
    return Point2{1.0f / (kScreenHalfHeight * aspect), 1.0f / kScreenHalfHeight};
}

// The environment picture repeats every ten window units, shifted by the
// view's eye height so every child shows it at its own offset.
constexpr float kTextureScale = 0.1f;

inline Point2 textureCoord(float offset, const Point2& point) {
    return Point2{(offset + point.x) * kTextureScale, (offset + point.y) * kTextureScale};
}

// A colour as fixed-function GL uses it: every channel clamped to [0, 1]
// (NaN gives 0), so faces lit above 1 add no more than 1.
struct Rgba {
    float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    static float unit(float value) { return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f; }
    static Rgba clamped(const Color& color) {
        Rgba rgba;
        rgba.c[0] = unit(color.r);
        rgba.c[1] = unit(color.g);
        rgba.c[2] = unit(color.b);
        rgba.c[3] = unit(color.a);
        return rgba;
    }
    // Under the (source alpha, one) blend, alpha 0 or black adds nothing.
    bool addsNothing() const {
        return c[3] == 0.0f || (c[0] == 0.0f && c[1] == 0.0f && c[2] == 0.0f);
    }
    // The colour times its alpha, with the given alpha: what the blend would
    // add, ready to be summed with another before blending with alpha 1.
    Rgba premultiplied(float alpha) const {
        Rgba rgba;
        for (int i = 0; i < 3; ++i) {
            rgba.c[i] = c[i] * c[3];
        }
        rgba.c[3] = alpha;
        return rgba;
    }
};

// What one pass adds, per pixel: tint + texel x environment, weighted by
// the result's alpha in the (source alpha, one) blend. A fill is its tint
// alone, an environment its colour times the picture. Tints and an
// environment drawn in one pass (render/pass_plan.h) are each premultiplied
// with the result's alpha 1 (the tint's alpha is 0, the environment's 1), so
// the sum is what the separate passes add, rounded once.
struct PassColors {
    Rgba tint;
    Rgba environment;
    float textureOffset = 0.0f;
    bool textured = false;  // the picture is sampled at all
};

inline PassColors passColors(const DrawCommand& command) {
    PassColors pass;
    if (command.pass == DrawPass::Environment) {
        pass.environment = Rgba::clamped(command.color);
        pass.textureOffset = command.textureOffset;
        pass.textured = true;
    } else {
        pass.tint = Rgba::clamped(command.color);
    }
    return pass;
}

// Merged passes rely on every texel's alpha being 1: a texel's alpha would
// scale the tint as well.
inline bool isOpaquePicture(const Image& picture) {
    if (picture.bitsPerPixel != 32 || !picture.pixels) {
        return true;
    }
    for (std::uint32_t i = 3; i < picture.byteSize; i += 4) {
        if (picture.pixels[i] != 255) {
            return false;
        }
    }
    return true;
}
