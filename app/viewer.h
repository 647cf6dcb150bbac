#pragma once

#include <cstdint>

#include "scene/scene.h"

// What a viewer of the demo lets the visitor do, without the platform, with
// the browser page's keys and meanings: a clock that stands, steps and
// scrubs, a camera turned by drags and keys, the depth, and which panels
// show. A shell turns its own input into Controls, passes its own clock's
// "now" in milliseconds, and draws `frame` when `redraw` is set or the clock
// runs.

// The depth keys offer 0 to this; deeper budgets cost far more per frame.
constexpr int kMaxViewerDepth = 4;

// Every control acts on what is drawn next, never on what a given time and
// depth look like.
enum class Control {
    Pause,
    StepBack,
    StepForward,
    ScrubBack,
    ScrubForward,
    Info,
    Fullscreen,
    Overlay,
    Smooth,
    Orbit,
    Share,
    Picture,
    Help,
    TurnLeft,
    TurnRight,
    TiltUp,
    TiltDown,
    Nearer,
    Farther
};

// The keys, by their place on the keyboard, named as the browser's
// KeyboardEvent.code names them ("KeyA", "Space", "ArrowLeft", "Equal").
// A held key repeats only the controls that move (steps, scrubs, the
// camera); the others act once per press, so a held P saves one picture.
struct KeyBinding {
    const char* code;
    Control control;
    bool repeats;
};
// The binding of `code`, or null. The digits ("Digit0", "Numpad3") are
// depths, see keyDepth; "?" is bound by the character it types.
const KeyBinding* findKeyBinding(const char* code);
// The depth a digit key sets ("Digit0" ... "Digit4", "Numpad0" ... "Numpad4"),
// or -1.
int keyDepth(const char* code);

// What a key press did (Viewer::pressKey).
enum class KeyUse {
    // Not one of the viewer's keys: the shell's or the platform's.
    Unbound,
    // A bound key held down whose control does not repeat: nothing to do.
    Held,
    // The viewer acted (a control or a depth).
    Applied,
    // A control the shell does itself, in the press's `control`.
    ForShell
};
struct KeyPress {
    KeyUse use = KeyUse::Unbound;
    Control control = Control::Pause;
};

// A drag let go while moving glides on and slows to a stop. Its times are
// the shell's own event milliseconds (any origin, the same for every call).
class Glide {
public:
    // A pointer went down at `atMs`, or a pinch began: any glide stops and
    // the drag's speed is measured from here.
    void grab(double atMs);
    // The held pointer moved (dx, dy) pixels at `atMs`.
    void moved(double dx, double dy, double atMs);
    // The pointer let go at `atMs`: a pointer that was still moving glides
    // on; one held still before letting go throws nothing.
    void letGo(double atMs);
    void stop() { gliding_ = false; }
    bool gliding() const { return gliding_; }
    // The glide's turn in pixels from the last step to `atMs`; false (and
    // no turn) once it has slowed to a stop.
    bool step(double atMs, double& dx, double& dy);

private:
    // The drag's speed in pixels a millisecond, smoothed over the last moves.
    double speedX_ = 0.0;
    double speedY_ = 0.0;
    double lastMoveMs_ = 0.0;
    double lastStepMs_ = 0.0;
    bool moved_ = false;
    bool gliding_ = false;
};

// Why the clock stands; it runs while no reason holds.
enum StandReason : unsigned { kStandPaused = 1, kStandHidden = 2, kStandContextLost = 4 };

struct Viewer {
    // What the next frame is drawn from; timeMs is the clock at the last draw.
    FrameInputs frame;
    bool overlay = false;
    bool infoVisible = false;
    bool helpVisible = false;
    // The camera's glide after a drag; controls, depths and zooms stop it.
    Glide glide;
    // The next frame must be drawn although the clock stands still.
    bool redraw = true;

    // Starts the clock at 0 (or standing at `standingMs` when paused).
    void start(double nowMs, bool paused, std::uint32_t standingMs = 0);
    bool stands(StandReason reason) const { return (standing_ & reason) != 0; }
    bool paused() const { return stands(kStandPaused); }
    bool clockStands() const { return standing_ != 0; }
    // Milliseconds on the clock, and the same in whole milliseconds,
    // wrapping after 2^32 like the desktop's frame clock.
    double clockMs(double nowMs) const;
    std::uint32_t frameClock(double nowMs) const;
    // Moves the clock to `ms` (not before 0), standing or running.
    void setClock(double ms, double nowMs);
    // Sets or clears one reason to stand; the clock goes on from where it
    // stood, without a jump.
    void setStanding(StandReason reason, bool value, double nowMs);

    // The clock's controls, the camera's, the depth and the panels. False
    // for the controls each shell does itself (Fullscreen, Smooth, Share,
    // Picture).
    bool apply(Control control, double nowMs);
    // A key by its code (`repeat`: a held key's repeat), with the bindings
    // above: a depth, a control applied, or one handed back to the shell.
    KeyPress pressKey(const char* code, bool repeat, double nowMs);
    void setDepth(int depth);
    // The visitor's camera: the first move takes the orbit's camera of the
    // frame on screen and stops the clock there, so the view stays where it
    // is left. Degrees of yaw and pitch, and a factor on the distance.
    void moveCamera(double yawDegrees, double pitchDegrees, double distanceFactor, double nowMs);
    // A drag of (dx, dy) pixels turns the camera so the scene follows the
    // pointer; a pinch or the wheel multiplies the distance by `factor`.
    void drag(double dx, double dy, double nowMs);
    void zoom(double factor, double nowMs);
    // Turns the camera by a glide's step to `eventMs` (the glide's time):
    // true while it glides.
    bool glideOn(double eventMs, double nowMs);

private:
    void applyClock(Control control, double nowMs);
    void applyCamera(Control control, double nowMs);

    double startMs_ = 0.0;
    double offsetMs_ = 0.0;
    double standingMs_ = 0.0;
    unsigned standing_ = 0;
};
