#pragma once

#include "math/point2.h"
#include "math/vector3.h"

// Affine transform in row-vector convention: p' = p.x*xAxis + p.y*yAxis +
// p.z*zAxis + translation. `a * b` applies b first, then a.
struct Matrix {
    Vector3 xAxis{1.0f, 0.0f, 0.0f};
    Vector3 yAxis{0.0f, 1.0f, 0.0f};
    Vector3 zAxis{0.0f, 0.0f, 1.0f};
    Vector3 translation{0.0f, 0.0f, 0.0f};

    Matrix() = default;

    void setTranslation(const Vector3& t) {
        *this = Matrix();
        translation = t;
    }

    // Orthonormal right-handed basis with zAxis along direction and world up
    // (0, 1, 0) deciding the roll; straight up or down falls back to x = (1, 0, 0).
    void setLookAlong(const Vector3& direction);

    Vector3 transformPoint(const Vector3& p) const {
        return {p.x * xAxis.x + p.y * yAxis.x + p.z * zAxis.x + translation.x,
                p.x * xAxis.y + p.y * yAxis.y + p.z * zAxis.y + translation.y,
                p.x * xAxis.z + p.y * yAxis.z + p.z * zAxis.z + translation.z};
    }

    Vector3 transformDirection(const Vector3& d) const {
        return {d.x * xAxis.x + d.y * yAxis.x + d.z * zAxis.x,
                d.x * xAxis.y + d.y * yAxis.y + d.z * zAxis.y,
                d.x * xAxis.z + d.y * yAxis.z + d.z * zAxis.z};
    }

    // The 3x3 part transposed, no translation: the inverse of a pure rotation.
    Matrix transposedBasis() const {
        Matrix m;
        m.xAxis = {xAxis.x, yAxis.x, zAxis.x};
        m.yAxis = {xAxis.y, yAxis.y, zAxis.y};
        m.zAxis = {xAxis.z, yAxis.z, zAxis.z};
        return m;
    }

    Matrix operator*(const Matrix& b) const {
        Matrix m;
        m.xAxis = transformDirection(b.xAxis);
        m.yAxis = transformDirection(b.yAxis);
        m.zAxis = transformDirection(b.zAxis);
        m.translation = transformPoint(b.translation);
        return m;
    }

    // Reflection across the plane n.p = d, and the pull of points towards it
    // by 2 - refractiveIndex that stands in for refraction. Both overwrite all
    // twelve elements.
    void makeReflection(const Vector3& planeNormal, float planeDistance);
    void makeRefraction(const Vector3& planeNormal, float planeDistance, float refractiveIndex);

    // Perspective projection into the view's window plane:
    // (view x / view z, view y / view z).
    void projectPoint(const Vector3& position, Point2& out) const;

    Matrix& operator*=(const Matrix& b) {
        *this = *this * b;
        return *this;
    }
};
