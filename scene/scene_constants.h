#pragma once

#include "math/color.h"
#include "math/vector3.h"
#include "scene/data_files.h"

// The scene's fixed names and values, one home each, shared by the scene, the
// shells' stand-ins, the tools and the tests. Header-only, so a program that
// does not link the scene can still use them.

// The folder of the data files; the files themselves (kObjectFiles,
// kEnvironmentFile) come from the build's list.
inline constexpr const char* kDataFolder = "data";

// The faces the demo looks through in a row: a mirrored and a refracted view
// of every visible face, and of every visible face seen through those.
inline constexpr int kDemoDepthBudget = 2;

// The demo's picture size where nothing else sets it: the window's when the
// settings file has none, the tool's pictures and timings.
inline constexpr int kDefaultWidth = 640;
inline constexpr int kDefaultHeight = 480;

// The window's caption at creation, and the title the 500 ms timer sets.
inline constexpr const char* kWindowCaption = "Glasswake";
inline constexpr const char* kWindowTitle = "Glasswake by Orvel / Lumo [fps: +inf :-)]";

// Samples per pixel the Linux demo, the page and the tool draw with where the
// context offers them (else one): edges then resolve to the mix of what lies
// on either side. The exact backend and the Windows program draw one.
inline constexpr int kDefaultSamples = 4;

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
