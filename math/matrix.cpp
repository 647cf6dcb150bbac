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
