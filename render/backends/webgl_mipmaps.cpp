#include "render/backends/webgl_mipmaps.h"

#include <algorithm>
#include <cmath>

namespace {

std::uint32_t nearestPowerOfTwo(std::uint32_t value) {
    if (value == 0) {
        return 0;
    }
    // Shift down to the top two bits: 1 stays, 3 (binary 11) rounds up.
    std::uint32_t power = 1;
    while (value != 1 && value != 3) {
        value >>= 1;
        power <<= 1;
    }
    return value == 3 ? power * 4 : power;
}

}  // namespace

void mipmapBaseSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxSide,
                    std::uint32_t& baseWidth, std::uint32_t& baseHeight) {
    baseWidth = nearestPowerOfTwo(width);
    baseHeight = nearestPowerOfTwo(height);
    maxSide = std::max<std::uint32_t>(maxSide, 1);
    while (baseWidth > maxSide || baseHeight > maxSide) {
        baseWidth = baseWidth > 1 ? baseWidth / 2 : baseWidth;
        baseHeight = baseHeight > 1 ? baseHeight / 2 : baseHeight;
    }
}

void halveImage(const std::uint8_t* from, std::uint32_t width, std::uint32_t height,
                std::uint8_t* to, std::uint32_t components) {
    const std::uint32_t halfWidth = std::max<std::uint32_t>(width / 2, 1);
    const std::uint32_t halfHeight = std::max<std::uint32_t>(height / 2, 1);
    if (width == 1 || height == 1) {
        // A line: pairs along it, truncated.
        const std::uint32_t count = halfWidth * halfHeight;
        for (std::uint32_t i = 0; i < count; ++i) {
            for (std::uint32_t k = 0; k < components; ++k) {
                const std::uint32_t a = from[(2 * i) * components + k];
                const std::uint32_t b = from[(2 * i + 1) * components + k];
                to[i * components + k] = static_cast<std::uint8_t>((a + b) / 2);
            }
        }
        return;
    }
    const std::size_t row = static_cast<std::size_t>(width) * components;
    for (std::uint32_t y = 0; y < halfHeight; ++y) {
        const std::uint8_t* top = from + (2 * y) * row;
        const std::uint8_t* bottom = top + row;
        for (std::uint32_t x = 0; x < halfWidth; ++x) {
            for (std::uint32_t k = 0; k < components; ++k) {
                const std::size_t left = (2 * x) * components + k;
                const std::size_t right = left + components;
                const std::uint32_t sum = top[left] + top[right] + bottom[left] + bottom[right];
                *to++ = static_cast<std::uint8_t>((sum + 2) / 4);
            }
        }
    }
}

void scaleImage(const std::uint8_t* from, std::uint32_t width, std::uint32_t height,
                std::uint8_t* to, std::uint32_t toWidth, std::uint32_t toHeight,
                std::uint32_t components) {
    if (width == toWidth * 2 && height == toHeight * 2) {
        halveImage(from, width, height, to, components);
        return;
    }
    // Single precision throughout, like the upload this stands in for.
    const float stepX = static_cast<float>(width) / static_cast<float>(toWidth);
    const float stepY = static_cast<float>(height) / static_cast<float>(toHeight);
    const float area = stepX * stepY;
    const std::size_t row = static_cast<std::size_t>(width) * components;
    for (std::uint32_t oy = 0; oy < toHeight; ++oy) {
        const float y0 = static_cast<float>(oy) * stepY;
        const float y1 = std::min(y0 + stepY, static_cast<float>(height));
        for (std::uint32_t ox = 0; ox < toWidth; ++ox) {
            const float x0 = static_cast<float>(ox) * stepX;
            const float x1 = std::min(x0 + stepX, static_cast<float>(width));
            float totals[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (std::uint32_t iy = static_cast<std::uint32_t>(y0); iy < height; ++iy) {
                const float coverY =
                    std::min(y1, static_cast<float>(iy + 1)) - std::max(y0, static_cast<float>(iy));
                if (coverY <= 0.0f) {
                    break;
                }
                for (std::uint32_t ix = static_cast<std::uint32_t>(x0); ix < width; ++ix) {
                    const float coverX = std::min(x1, static_cast<float>(ix + 1)) -
                                         std::max(x0, static_cast<float>(ix));
                    if (coverX <= 0.0f) {
                        break;
                    }
                    const std::uint8_t* pixel = from + iy * row + ix * components;
                    for (std::uint32_t k = 0; k < components; ++k) {
                        totals[k] += static_cast<float>(pixel[k]) * coverX * coverY;
                    }
                }
            }
            for (std::uint32_t k = 0; k < components; ++k) {
                *to++ = static_cast<std::uint8_t>(std::min(totals[k] / area, 255.0f));
            }
        }
    }
}

bool buildMipmaps(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t components, std::uint32_t maxSide,
                  std::vector<MipmapLevel>& levels) {
    levels.clear();
    if (pixels == nullptr || width == 0 || height == 0 || components < 1 || components > 4) {
        return false;
    }
    MipmapLevel base;
    mipmapBaseSize(width, height, maxSide, base.width, base.height);
    base.pixels.resize(static_cast<std::size_t>(base.width) * base.height * components);
    if (base.width == width && base.height == height) {
        std::copy(pixels, pixels + base.pixels.size(), base.pixels.begin());
    } else {
        scaleImage(pixels, width, height, base.pixels.data(), base.width, base.height, components);
    }
    levels.push_back(std::move(base));
    while (levels.back().width > 1 || levels.back().height > 1) {
        const MipmapLevel& above = levels.back();
        MipmapLevel next;
        next.width = std::max<std::uint32_t>(above.width / 2, 1);
        next.height = std::max<std::uint32_t>(above.height / 2, 1);
        next.pixels.resize(static_cast<std::size_t>(next.width) * next.height * components);
        halveImage(above.pixels.data(), above.width, above.height, next.pixels.data(), components);
        levels.push_back(std::move(next));
    }
    return true;
}
