#include "app/viewer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The arrow keys: a step is one frame of a 30 frames/s clip, a scrub one second.
constexpr double kStepMs = 1000.0 / 30.0;
constexpr double kScrubMs = 1000.0;
// The camera: degrees a drag turns per pixel, degrees a key turns, and how
// much nearer or farther a zoom key goes.
constexpr double kDragDegreesPerPixel = 0.4;
constexpr double kKeyDegrees = 5.0;
constexpr double kKeyZoom = 1.1;
// The glide: moves closer together than this count as this far apart; a
// pointer held this long before letting go throws nothing; the speed halves
// every half-life and stops below the last (pixels a millisecond); a step
// after a longer pause (a busy machine) turns no more than the longest.
constexpr double kBunchedMovesMs = 8.0;
constexpr double kHeldStillMs = 80.0;
constexpr double kGlideHalfLifeMs = 180.0;
constexpr double kGlideStopSpeed = 0.01;
constexpr double kLongestGlideStepMs = 50.0;

constexpr KeyBinding kKeyBindings[] = {
    {"Space", Control::Pause, false},
    {"ArrowLeft", Control::StepBack, true},
    {"ArrowRight", Control::StepForward, true},
    {"ArrowDown", Control::ScrubBack, true},
    {"ArrowUp", Control::ScrubForward, true},
    {"KeyI", Control::Info, false},
    {"KeyF", Control::Fullscreen, false},
    {"KeyV", Control::Overlay, false},
    {"KeyM", Control::Smooth, false},
    {"KeyO", Control::Orbit, false},
    {"KeyL", Control::Share, false},
    {"KeyP", Control::Picture, false},
    {"KeyA", Control::TurnLeft, true},
    {"KeyD", Control::TurnRight, true},
    {"KeyW", Control::TiltUp, true},
    {"KeyS", Control::TiltDown, true},
    {"Equal", Control::Nearer, true},
    {"NumpadAdd", Control::Nearer, true},
    {"Minus", Control::Farther, true},
    {"NumpadSubtract", Control::Farther, true},
};

}  // namespace

const KeyBinding* findKeyBinding(const char* code) {
    for (const KeyBinding& binding : kKeyBindings) {
        if (std::strcmp(code, binding.code) == 0) {
            return &binding;
        }
    }
    return nullptr;
}

int keyDepth(const char* code) {
    const char* digit = std::strncmp(code, "Digit", 5) == 0    ? code + 5
                        : std::strncmp(code, "Numpad", 6) == 0 ? code + 6
                                                               : nullptr;
    if (digit && digit[0] >= '0' && digit[0] <= '0' + kMaxViewerDepth && digit[1] == '\0') {
        return digit[0] - '0';
    }
    return -1;
}

void Glide::grab(double atMs) {
    speedX_ = 0.0;
    speedY_ = 0.0;
    lastMoveMs_ = atMs;
    moved_ = false;
    gliding_ = false;
}

void Glide::moved(double dx, double dy, double atMs) {
    const double ms = std::max(atMs - lastMoveMs_, kBunchedMovesMs);
    speedX_ = 0.6 * dx / ms + 0.4 * speedX_;
    speedY_ = 0.6 * dy / ms + 0.4 * speedY_;
    lastMoveMs_ = atMs;
    moved_ = true;
}

void Glide::letGo(double atMs) {
    gliding_ = moved_ && atMs - lastMoveMs_ <= kHeldStillMs;
    lastStepMs_ = atMs;
}

bool Glide::step(double atMs, double& dx, double& dy) {
    if (!gliding_) {
        return false;
    }
    const double ms = std::clamp(atMs - lastStepMs_, 0.0, kLongestGlideStepMs);
    lastStepMs_ = atMs;
    const double keep = std::exp2(-ms / kGlideHalfLifeMs);
    speedX_ *= keep;
    speedY_ *= keep;
    if (std::hypot(speedX_, speedY_) < kGlideStopSpeed) {
        gliding_ = false;
        return false;
    }
    dx = speedX_ * ms;
    dy = speedY_ * ms;
    return true;
}

void Viewer::start(double nowMs, bool paused, std::uint32_t standingMs) {
    startMs_ = nowMs;
    offsetMs_ = 0.0;
    standingMs_ = standingMs;
    standing_ = paused ? unsigned{kStandPaused} : 0u;
    redraw = true;
}

double Viewer::clockMs(double nowMs) const {
    return clockStands() ? standingMs_ : nowMs - startMs_ + offsetMs_;
}

std::uint32_t Viewer::frameClock(double nowMs) const {
    const double ms = std::floor(clockMs(nowMs));
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms) & 0xFFFFFFFFu);
}

void Viewer::setClock(double ms, double nowMs) {
    ms = ms > 0.0 ? ms : 0.0;
    if (clockStands()) {
        standingMs_ = ms;
    } else {
        offsetMs_ = ms - (nowMs - startMs_);
    }
    redraw = true;
}

void Viewer::setStanding(StandReason reason, bool value, double nowMs) {
    const double now = clockMs(nowMs);
    const unsigned bit = reason;
    standing_ = value ? standing_ | bit : standing_ & ~bit;
    setClock(now, nowMs);
}

void Viewer::setDepth(int depth) {
    glide.stop();
    frame.depthBudget = depth;
    redraw = true;
}

void Viewer::moveCamera(double yawDegrees, double pitchDegrees, double distanceFactor,
                        double nowMs) {
    if (!frame.camera) {
        frame.camera = orbitCamera(frame.timeMs / 1000.0);
        setStanding(kStandPaused, true, nowMs);
    }
    Camera camera = *frame.camera;
    camera.yawDegrees += yawDegrees;
    camera.pitchDegrees += pitchDegrees;
    camera.distance *= distanceFactor > 0.0 ? distanceFactor : 1.0;
    frame.camera = limitCamera(camera);
    redraw = true;
}

void Viewer::drag(double dx, double dy, double nowMs) {
    moveCamera(-dx * kDragDegreesPerPixel, dy * kDragDegreesPerPixel, 1.0, nowMs);
}

void Viewer::zoom(double factor, double nowMs) {
    glide.stop();
    moveCamera(0.0, 0.0, factor, nowMs);
}

bool Viewer::glideOn(double eventMs, double nowMs) {
    double dx = 0.0;
    double dy = 0.0;
    if (!glide.step(eventMs, dx, dy)) {
        return false;
    }
    drag(dx, dy, nowMs);
    return true;
}

// The clock's controls move the orbit's camera, so they go back to it.
void Viewer::applyClock(Control control, double nowMs) {
    frame.camera.reset();
    switch (control) {
        case Control::Pause:
            setStanding(kStandPaused, !paused(), nowMs);
            break;
        case Control::StepBack:
        case Control::StepForward:
            setStanding(kStandPaused, true, nowMs);
            setClock(clockMs(nowMs) + (control == Control::StepBack ? -kStepMs : kStepMs), nowMs);
            break;
        case Control::ScrubBack:
        case Control::ScrubForward:
            setClock(clockMs(nowMs) + (control == Control::ScrubBack ? -kScrubMs : kScrubMs),
                     nowMs);
            break;
        default:  // back to the orbit, running
            setStanding(kStandPaused, false, nowMs);
            break;
    }
}

void Viewer::applyCamera(Control control, double nowMs) {
    switch (control) {
        case Control::TurnLeft:
        case Control::TurnRight:
            // A growing yaw turns the scene to the left.
            moveCamera(control == Control::TurnLeft ? kKeyDegrees : -kKeyDegrees, 0.0, 1.0, nowMs);
            break;
        case Control::TiltUp:
        case Control::TiltDown:
            moveCamera(0.0, control == Control::TiltUp ? kKeyDegrees : -kKeyDegrees, 1.0, nowMs);
            break;
        default:
            moveCamera(0.0, 0.0, control == Control::Nearer ? 1.0 / kKeyZoom : kKeyZoom, nowMs);
            break;
    }
}

bool Viewer::apply(Control control, double nowMs) {
    glide.stop();
    switch (control) {
        case Control::Fullscreen:
        case Control::Smooth:
        case Control::Share:
        case Control::Picture:
            return false;
        case Control::Info:
            infoVisible = !infoVisible;
            break;
        case Control::Overlay:
            overlay = !overlay;
            break;
        case Control::Help:
            helpVisible = !helpVisible;
            break;
        default:
            if (control >= Control::TurnLeft) {
                applyCamera(control, nowMs);
            } else {
                applyClock(control, nowMs);
            }
            break;
    }
    redraw = true;
    return true;
}

KeyPress Viewer::pressKey(const char* code, bool repeat, double nowMs) {
    KeyPress press;
    const int depth = keyDepth(code);
    const KeyBinding* binding = depth >= 0 ? nullptr : findKeyBinding(code);
    if (depth < 0 && !binding) {
        return press;
    }
    if (repeat && (depth >= 0 || !binding->repeats)) {
        press.use = KeyUse::Held;
    } else if (depth >= 0) {
        setDepth(depth);
        press.use = KeyUse::Applied;
    } else {
        press.control = binding->control;
        press.use = apply(binding->control, nowMs) ? KeyUse::Applied : KeyUse::ForShell;
    }
    return press;
}
