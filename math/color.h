#pragma once

// An RGBA colour, channels nominally 0..1 but never clamped here.
struct Color {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;

    constexpr Color() = default;
    constexpr Color(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}

    Color operator*(const Color& d) const { return {r * d.r, g * d.g, b * d.b, a * d.a}; }
};
