#pragma once

#include "math/color.h"
#include "math/vector3.h"

// The one light and the two light colours every object is shaded with, shared
// by the scene and by the tools that describe the objects as the scene sees them.

// The direction the light travels: downward, so upward-facing faces are lit.
inline Vector3 sceneLightDirection() {
    Vector3 direction(0.5f, -1.0f, 0.2f);
    direction.normalize();
    return direction;
}

inline Color sceneAmbientColor() {
    return Color(0.0f, 0.2f, 0.2f, 0.5f);
}

inline Color sceneDiffuseColor() {
    return Color(0.0f, 1.0f, 1.0f, 0.0f);
}
