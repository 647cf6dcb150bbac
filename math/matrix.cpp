#include "math/matrix.h"

void Matrix::setLookAlong(const Vector3& direction) {
    zAxis = direction;
    xAxis = Vector3(direction.z, 0.0f, -direction.x);  // (0, 1, 0) x direction
    // `!(a > 0)` also catches NaN, which must take the fallback too.
    if (!(xAxis.lengthSquared() > 0.0f)) {
        xAxis = Vector3(1.0f, 0.0f, 0.0f);
    }
    yAxis = zAxis.cross(xAxis);
    xAxis.normalize();
    yAxis.normalize();
    zAxis.normalize();
    translation = Vector3();
}

void Matrix::makeReflection(const Vector3& n, float d) {
    xAxis = Vector3(1.0f - 2.0f * n.x * n.x, -2.0f * n.x * n.y, -2.0f * n.x * n.z);
    yAxis = Vector3(-2.0f * n.x * n.y, 1.0f - 2.0f * n.y * n.y, -2.0f * n.y * n.z);
    zAxis = Vector3(-2.0f * n.x * n.z, -2.0f * n.y * n.z, 1.0f - 2.0f * n.z * n.z);
    translation = Vector3(2.0f * d * n.x, 2.0f * d * n.y, 2.0f * d * n.z);
}

void Matrix::makeRefraction(const Vector3& n, float d, float refractiveIndex) {
    const float k = 1.0f - refractiveIndex;
    xAxis = Vector3(1.0f + k * n.x * n.x, k * n.x * n.y, k * n.x * n.z);
    yAxis = Vector3(k * n.x * n.y, 1.0f + k * n.y * n.y, k * n.y * n.z);
    zAxis = Vector3(k * n.x * n.z, k * n.y * n.z, 1.0f + k * n.z * n.z);
    translation = Vector3(-k * d * n.x, -k * d * n.y, -k * d * n.z);
}

void Matrix::projectPoint(const Vector3& position, Point2& out) const {
    const Vector3 view = transformPoint(position);
    const float depth = view.z;
    out.x = view.x / depth;
    out.y = view.y / depth;
}
