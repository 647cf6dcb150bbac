#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scene/scene.h"

namespace {

constexpr double kDegrees = 3.14159265358979323846 / 180.0;

// One decimal number, e.g. "-12.5"; *end is left after it.
bool readNumber(const char* text, const char** end, double& value) {
    const char* digits = *text == '-' || *text == '+' ? text + 1 : text;
    if ((*digits < '0' || *digits > '9') && *digits != '.')
        return false;
    char* stop = nullptr;
    value = std::strtod(text, &stop);
    *end = stop;
    return stop != text && std::isfinite(value);
}

// Where the orbit starts, as a camera about its target.
Camera orbitStart() {
    const double up = double(kOrbitStart.y) - kOrbitTarget.y;
    const double across =
        std::hypot(double(kOrbitStart.x) - kOrbitTarget.x, double(kOrbitStart.z) - kOrbitTarget.z);
    return Camera{0.0, std::atan2(up, across) / kDegrees, std::hypot(up, across)};
}

}  // namespace

Camera orbitCamera(double seconds) {
    Camera camera = orbitStart();
    camera.yawDegrees = seconds * double(kOrbitRadiansPerSecond) / kDegrees;
    return limitCamera(camera);
}

Vector3 cameraEye(const Camera& camera) {
    const double yaw = camera.yawDegrees * kDegrees;
    const double pitch = camera.pitchDegrees * kDegrees;
    const double across = camera.distance * std::cos(pitch);
    return Vector3(static_cast<float>(across * std::sin(yaw)),
                   static_cast<float>(kOrbitTarget.y + camera.distance * std::sin(pitch)),
                   static_cast<float>(-across * std::cos(yaw)));
}

Camera limitCamera(const Camera& camera) {
    Camera limited = camera;
    const Camera start = orbitStart();
    limited.yawDegrees =
        std::isfinite(camera.yawDegrees) ? std::fmod(camera.yawDegrees, 360.0) : 0.0;
    if (limited.yawDegrees < 0.0)
        limited.yawDegrees += 360.0;
    if (limited.yawDegrees >= 360.0)  // a tiny negative yaw rounds up to 360
        limited.yawDegrees = 0.0;
    limited.pitchDegrees =
        std::isnan(camera.pitchDegrees)
            ? start.pitchDegrees
            : std::fmin(std::fmax(camera.pitchDegrees, kMinCameraPitch), kMaxCameraPitch);
    limited.distance =
        std::isnan(camera.distance)
            ? start.distance
            : std::fmin(std::fmax(camera.distance, kMinCameraDistance), kMaxCameraDistance);
    return limited;
}

std::string cameraLimitsText(const char* pitch, const char* distance) {
    char text[160];
    std::snprintf(text, sizeof text, "%s%g to %g%s%g to %g", pitch, kMinCameraPitch,
                  kMaxCameraPitch, distance, kMinCameraDistance, kMaxCameraDistance);
    return text;
}

int formatCamera(const Camera& camera, char* out, std::size_t size) {
    return std::snprintf(out, size, "%.2f,%.2f,%.2f", camera.yawDegrees, camera.pitchDegrees,
                         camera.distance);
}

bool parseCamera(const char* text, Camera& camera) {
    // Plain decimals only: no blanks, hexadecimal, "inf" or "nan".
    for (const char* c = text; *c; ++c) {
        if (!std::strchr("0123456789.,+-eE", *c))
            return false;
    }
    double values[3];
    for (int i = 0; i < 3; ++i) {
        if (!readNumber(text, &text, values[i]) || *text != (i < 2 ? ',' : '\0'))
            return false;
        ++text;
    }
    if (!(values[1] >= kMinCameraPitch && values[1] <= kMaxCameraPitch &&
          values[2] >= kMinCameraDistance && values[2] <= kMaxCameraDistance)) {
        return false;
    }
    camera = limitCamera(Camera{values[0], values[1], values[2]});
    return true;
}
