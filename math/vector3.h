#pragma once

#include <cmath>

// A point or direction in world or view space. Plain value, three floats.
struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector3() = default;
    Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    Vector3 operator+(const Vector3& b) const { return {x + b.x, y + b.y, z + b.z}; }
    Vector3 operator-(const Vector3& b) const { return {x - b.x, y - b.y, z - b.z}; }
    Vector3 operator-() const { return {-x, -y, -z}; }
    Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }

    float dot(const Vector3& b) const { return x * b.x + y * b.y + z * b.z; }
    Vector3 cross(const Vector3& b) const {
        return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x};
    }
    float lengthSquared() const { return x * x + y * y + z * z; }
    float length() const { return std::sqrt(lengthSquared()); }

    // Divides only by a positive length: the zero vector (or a NaN length)
    // stays as it is, so callers never see infinities from a degenerate input.
    void normalize() {
        const float len = length();
        if (len > 0.0f) {
            const float inv = 1.0f / len;
            x *= inv;
            y *= inv;
            z *= inv;
        }
    }
};
