#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "assets/picture.h"

namespace {

// sRGB coding to light and back: 256 levels in, and a table fine enough
// that every output level is reached from light values near it.
struct SrgbTables {
    float toLinear[256];
    static constexpr int kSteps = 16384;
    std::uint8_t toCode[kSteps + 1];

    SrgbTables() {
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            toLinear[i] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        for (int i = 0; i <= kSteps; ++i) {
            const double l = double(i) / kSteps;
            const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
            toCode[i] = std::uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
        }
    }
    std::uint8_t code(float linear) const {
        const float clamped = std::clamp(linear, 0.0f, 1.0f);
        return toCode[int(clamped * kSteps + 0.5f)];
    }
};

const SrgbTables& srgb() {
    static const SrgbTables tables;
    return tables;
}

// For every output sample along one side, `width` source samples and their
// weights, summing to 1. The tent is as wide as the reduction, so every
// source sample counts; past the edges the edge samples repeat.
struct Taps {
    int width = 0;
    std::unique_ptr<std::uint32_t[]> source;
    std::unique_ptr<float[]> weights;

    bool create(std::uint32_t from, std::uint32_t to) {
        const double scale = double(from) / to;
        const double radius = std::max(1.0, scale);
        width = int(std::ceil(radius)) * 2 + 1;
        const std::size_t count = std::size_t(to) * width;
        source.reset(new (std::nothrow) std::uint32_t[count]);
        weights.reset(new (std::nothrow) float[count]);
        if (!source || !weights) {
            return false;
        }
        for (std::uint32_t i = 0; i < to; ++i) {
            const double center = (i + 0.5) * scale - 0.5;
            const long long low = (long long)std::ceil(center - radius);
            double sum = 0.0;
            for (int k = 0; k < width; ++k) {
                const double weight =
                    std::max(0.0, 1.0 - std::fabs(double(low + k) - center) / radius);
                source[i * width + k] = std::uint32_t(std::clamp<long long>(low + k, 0, from - 1));
                weights[i * width + k] = float(weight);
                sum += weight;
            }
            for (int k = 0; k < width; ++k) {
                weights[i * width + k] = float(weights[i * width + k] / sum);
            }
        }
        return true;
    }
};

// Rows first (each source row to light, filtered across), then columns.
std::uint8_t* resample(const std::uint8_t* rgb, std::uint32_t width, std::uint32_t height,
                       std::uint32_t toWidth, std::uint32_t toHeight) {
    Taps across;
    Taps down;
    const std::size_t outRow = std::size_t(toWidth) * 3;
    std::unique_ptr<float[]> rows(new (std::nothrow) float[outRow * height]);
    std::unique_ptr<float[]> sum(new (std::nothrow) float[outRow]);
    std::unique_ptr<std::uint8_t[]> out(new (std::nothrow) std::uint8_t[outRow * toHeight]);
    if (!rows || !sum || !out || !across.create(width, toWidth) || !down.create(height, toHeight)) {
        return nullptr;
    }
    const SrgbTables& tables = srgb();
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* source = rgb + std::size_t(y) * width * 3;
        float* target = &rows[outRow * y];
        for (std::uint32_t x = 0; x < toWidth; ++x) {
            const std::size_t tap = std::size_t(x) * across.width;
            const float* w = &across.weights[tap];
            float r = 0.0f, g = 0.0f, b = 0.0f;
            for (int k = 0; k < across.width; ++k) {
                const std::uint8_t* s = source + std::size_t(across.source[tap + k]) * 3;
                r += w[k] * tables.toLinear[s[0]];
                g += w[k] * tables.toLinear[s[1]];
                b += w[k] * tables.toLinear[s[2]];
            }
            target[3 * x] = r;
            target[3 * x + 1] = g;
            target[3 * x + 2] = b;
        }
    }
    for (std::uint32_t y = 0; y < toHeight; ++y) {
        std::fill(sum.get(), sum.get() + outRow, 0.0f);
        const std::size_t tap = std::size_t(y) * down.width;
        const float* w = &down.weights[tap];
        for (int k = 0; k < down.width; ++k) {
            const float* source = &rows[outRow * down.source[tap + k]];
            for (std::size_t i = 0; i < outRow; ++i) {
                sum[i] += w[k] * source[i];
            }
        }
        for (std::size_t i = 0; i < outRow; ++i) {
            out[outRow * y + i] = tables.code(sum[i]);
        }
    }
    return out.release();
}

void adopt(Image& image, std::uint8_t* pixels, std::uint32_t width, std::uint32_t height) {
    image.release();
    image.pixels = pixels;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = 24;
    image.rowBytes = width * 3;
    image.byteSize = image.rowBytes * height;
}

}  // namespace

std::uint32_t textureSide(std::uint32_t side) {
    std::uint32_t power = 1;
    // The nearer power by ratio: 2^k when side < 2^k * sqrt(2).
    while (power < kMaxTextureSide && double(side) >= power * 1.4142135623730951) {
        power *= 2;
    }
    return power;
}

bool adoptResampled(Image& image, const std::uint8_t* rgb, std::uint32_t width,
                    std::uint32_t height) {
    const std::uint32_t toWidth = textureSide(width);
    const std::uint32_t toHeight = textureSide(height);
    std::uint8_t* pixels;
    if (toWidth == width && toHeight == height) {
        pixels = new (std::nothrow) std::uint8_t[std::size_t(width) * height * 3];
        if (pixels) {
            std::memcpy(pixels, rgb, std::size_t(width) * height * 3);
        }
    } else {
        pixels = resample(rgb, width, height, toWidth, toHeight);
    }
    if (!pixels) {
        return false;
    }
    adopt(image, pixels, toWidth, toHeight);
    return true;
}

bool fitToTexture(Image& image) {
    if (image.bitsPerPixel != 24 || !image.pixels ||
        (textureSide(image.width) == image.width && textureSide(image.height) == image.height)) {
        return true;
    }
    std::uint8_t* pixels = resample(image.pixels, image.width, image.height,
                                    textureSide(image.width), textureSide(image.height));
    if (!pixels) {
        image.failure.set("no memory to resample a %u x %u picture", image.width, image.height);
        return false;
    }
    adopt(image, pixels, textureSide(image.width), textureSide(image.height));
    return true;
}

bool applyOrientation(Image& image, int orientation) {
    if (orientation < 2 || orientation > 8 || image.bitsPerPixel != 24 || !image.pixels) {
        return true;
    }
    const std::uint32_t w = image.width;
    const std::uint32_t h = image.height;
    const bool swaps = orientation >= 5;
    const std::uint32_t outWidth = swaps ? h : w;
    std::uint8_t* out = new (std::nothrow) std::uint8_t[std::size_t(w) * h * 3];
    if (!out) {
        return false;
    }
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t dx = x, dy = y;
            switch (orientation) {
                case 2:
                    dx = w - 1 - x;
                    break;
                case 3:
                    dx = w - 1 - x;
                    dy = h - 1 - y;
                    break;
                case 4:
                    dy = h - 1 - y;
                    break;
                case 5:
                    dx = y;
                    dy = x;
                    break;
                case 6:
                    dx = h - 1 - y;
                    dy = x;
                    break;
                case 7:
                    dx = h - 1 - y;
                    dy = w - 1 - x;
                    break;
                default:
                    dx = y;
                    dy = w - 1 - x;
                    break;  // 8
            }
            std::memcpy(out + (std::size_t(dy) * outWidth + dx) * 3,
                        image.pixels + (std::size_t(y) * w + x) * 3, 3);
        }
    }
    adopt(image, out, outWidth, swaps ? w : h);
    return true;
}
