// The browser shell: the page's canvas and WebGL context stand in for the
// window and its GL context, the animation-frame callback for the message
// loop, and the page's high-resolution timer for the performance counter.
// The hooks run in the desktop order: PreInit, context, clock, Init, then one
// Frame per animation frame, and Shutdown when the page goes away.

#include <GLES2/gl2.h>
#include <emscripten.h>
#include <emscripten/eventloop.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/shell_rules.h"
#include "app/web/view_overlay.h"
#include "render/backends/shader_program.h"
#include "render/backends/webgl_backend.h"
#include "render/frame_record.h"
#include "render/render_stats.h"
#include "scene/hooks.h"
#include "scene/scene.h"

// The page side (page_library.js).
extern "C" {
void glasswake_page_failure(const char* caption, const char* text);
void glasswake_page_frame_drawn();
void glasswake_page_window_size(double* width, double* height);
void glasswake_page_panel(int depth, bool paused, bool infoVisible, double framesPerSecond,
                          double views, double fans);
}

namespace {

constexpr const char* kCanvas = "#glasswake";
constexpr const char* kStage = "#stage";
// The depth keys offer 0 to this; deeper budgets cost far more per frame.
constexpr int kMaxViewerDepth = 4;
// The arrow keys: a step is one frame of a 30 frames/s clip, a scrub one second.
constexpr double kStepMs = 1000.0 / 30.0;
constexpr double kScrubMs = 1000.0;
// A drawing size from the URL is held to this many pixels a side.
constexpr int kMaxCanvasSide = 8192;

WebGlBackend webglBackend;
WebViewOverlay viewOverlay;
bool overlayVisible = false;
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE glContext = 0;
bool running = false;

// The clock: milliseconds since it started, less the time spent paused, plus
// the steps. While paused it stands at pausedClockMs.
double startMs = 0.0;
double offsetMs = 0.0;
bool paused = false;
double pausedClockMs = 0.0;

// URL parameters.
int fixedWidth = 0;  // 0: the canvas follows the browser window
int fixedHeight = 0;
double fittedPixelRatio = 0.0;
// The longest side the context draws (set once it exists).
int largestDrawingSide = kMaxCanvasSide;

// Whether the next animation frame must draw although the clock stands still.
bool redraw = true;
bool firstFrameDrawn = false;

// The information panel.
bool infoVisible = false;
RecordCounts lastCounts;
int framesSinceReport = 0;
double reportStartMs = 0.0;
double framesPerSecond = 0.0;

double clockMs() {
    return paused ? pausedClockMs : emscripten_get_now() - startMs + offsetMs;
}

// Moves the clock to `ms` (not before 0), keeping it paused or running.
void setClock(double ms) {
    ms = ms > 0.0 ? ms : 0.0;
    if (paused) {
        pausedClockMs = ms;
    } else {
        offsetMs = ms - (emscripten_get_now() - startMs);
    }
    redraw = true;
}

void setPaused(bool pause) {
    if (pause == paused) {
        return;
    }
    const double now = clockMs();
    paused = pause;
    setClock(now);
}

// The clock in whole milliseconds, wrapping after 2^32 like the desktop's.
std::uint32_t frameClock() {
    const double ms = std::floor(clockMs());
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms) & 0xFFFFFFFFu);
}

// A shader that did not build adds why to the message.
void showFailure(const FailureMessage& message) {
    const bool why = shaderFailure.text[0] != '\0';
    char text[640];
    std::snprintf(text, sizeof text, "%s%s%s%s", message.text, why ? " (" : "", shaderFailure.text,
                  why ? ")" : "");
    glasswake_page_failure(message.caption, text);
}

void updatePanel() {
    glasswake_page_panel(frameDepthBudget, paused, infoVisible, framesPerSecond,
                         static_cast<double>(lastCounts.views),
                         static_cast<double>(lastCounts.fans));
}

// The drawing size: the size from the URL, else the canvas's CSS size (the
// whole browser window, or the screen in full screen) times the device
// pixel ratio, never more than the window's. Either is held to what the
// context can draw. The scene keeps the aspect and draws the black border.
void fitCanvas() {
    int width = fixedWidth;
    int height = fixedHeight;
    if (width == 0) {
        double cssWidth = 0.0;
        double cssHeight = 0.0;
        double windowWidth = 0.0;
        double windowHeight = 0.0;
        emscripten_get_element_css_size(kCanvas, &cssWidth, &cssHeight);
        glasswake_page_window_size(&windowWidth, &windowHeight);
        const double ratio = emscripten_get_device_pixel_ratio();
        fittedPixelRatio = ratio;
        width = static_cast<int>(std::lround(std::min(cssWidth, windowWidth) * ratio));
        height = static_cast<int>(std::lround(std::min(cssHeight, windowHeight) * ratio));
    }
    width = std::min(width, largestDrawingSide);
    height = std::min(height, largestDrawingSide);
    int oldWidth = 0;
    int oldHeight = 0;
    emscripten_get_canvas_element_size(kCanvas, &oldWidth, &oldHeight);
    if (width != oldWidth || height != oldHeight) {
        emscripten_set_canvas_element_size(kCanvas, width, height);
        // The browser may give a smaller drawing buffer than asked for.
        int bufferWidth = width;
        int bufferHeight = height;
        if (glContext != 0) {
            emscripten_webgl_get_drawing_buffer_size(glContext, &bufferWidth, &bufferHeight);
        }
        if (bufferWidth < width || bufferHeight < height) {
            width = std::min(width, bufferWidth);
            height = std::min(height, bufferHeight);
            emscripten_set_canvas_element_size(kCanvas, width, height);
        }
    }
    clientSize.width = width;
    clientSize.height = height;
    if (glContext != 0) {
        glViewport(0, 0, width, viewportHeight(height));
    }
    redraw = true;
}

void toggleFullscreen() {
    EmscriptenFullscreenChangeEvent status{};
    if (emscripten_get_fullscreen_status(&status) == EMSCRIPTEN_RESULT_SUCCESS &&
        status.isFullscreen) {
        emscripten_exit_fullscreen();
    } else {
        emscripten_request_fullscreen(kStage, EM_TRUE);
    }
}

void setDepth(int depth) {
    frameDepthBudget = depth;
    redraw = true;
    updatePanel();
}

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
    Overlay
};

void apply(Control control) {
    switch (control) {
        case Control::Pause:
            setPaused(!paused);
            break;
        case Control::StepBack:
            setPaused(true);
            setClock(clockMs() - kStepMs);
            break;
        case Control::StepForward:
            setPaused(true);
            setClock(clockMs() + kStepMs);
            break;
        case Control::ScrubBack:
            setClock(clockMs() - kScrubMs);
            break;
        case Control::ScrubForward:
            setClock(clockMs() + kScrubMs);
            break;
        case Control::Info:
            infoVisible = !infoVisible;
            break;
        case Control::Fullscreen:
            toggleFullscreen();
            break;
        case Control::Overlay:
            overlayVisible = !overlayVisible;
            redraw = true;
            break;
    }
    updatePanel();
}

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    // Browser shortcuts stay the browser's.
    if (event->ctrlKey || event->altKey || event->metaKey) {
        return EM_FALSE;
    }
    const char* code = event->code;
    if (std::strncmp(code, "Digit", 5) == 0 || std::strncmp(code, "Numpad", 6) == 0) {
        const char* digit = code + (code[0] == 'D' ? 5 : 6);
        if (digit[0] >= '0' && digit[0] <= '0' + kMaxViewerDepth && digit[1] == '\0') {
            setDepth(digit[0] - '0');
            return EM_TRUE;
        }
        return EM_FALSE;
    }
    struct Binding {
        const char* code;
        Control control;
    };
    static const Binding bindings[] = {
        {"Space", Control::Pause},
        {"ArrowLeft", Control::StepBack},
        {"ArrowRight", Control::StepForward},
        {"ArrowDown", Control::ScrubBack},
        {"ArrowUp", Control::ScrubForward},
        {"KeyI", Control::Info},
        {"KeyF", Control::Fullscreen},
        {"KeyV", Control::Overlay},
    };
    for (const Binding& binding : bindings) {
        if (std::strcmp(code, binding.code) == 0) {
            apply(binding.control);
            return EM_TRUE;
        }
    }
    if (std::strcmp(code, "Escape") == 0) {
        emscripten_exit_fullscreen();
        return EM_TRUE;
    }
    return EM_FALSE;
}

EM_BOOL onButton(int, const EmscriptenMouseEvent*, void* userData) {
    const std::intptr_t id = reinterpret_cast<std::intptr_t>(userData);
    if (id < 0) {
        setDepth(static_cast<int>(-id - 1));
    } else {
        apply(static_cast<Control>(id));
    }
    return EM_TRUE;
}

EM_BOOL onResize(int, const EmscriptenUiEvent*, void*) {
    fitCanvas();
    return EM_FALSE;
}

EM_BOOL onFullscreenChange(int, const EmscriptenFullscreenChangeEvent*, void*) {
    fitCanvas();
    return EM_FALSE;
}

void onTitleTimer(void*) {
    if (running) {
        emscripten_set_window_title(GetTitle());
        updatePanel();
        // A new pixel ratio (another screen, zoom) need not come with a resize.
        if (fixedWidth == 0 && emscripten_get_device_pixel_ratio() != fittedPixelRatio) {
            fitCanvas();
        }
    }
}

const char* onBeforeUnload(int, const void*, void*) {
    if (running) {
        running = false;
        viewOverlay.destroy();
        emscripten_webgl_make_context_current(0);
        emscripten_webgl_destroy_context(glContext);
        glContext = 0;
        Shutdown();
    }
    return nullptr;  // no question to the user
}

EM_BOOL onAnimationFrame(double, void*) {
    if (!running) {
        return EM_FALSE;
    }
    const double now = emscripten_get_now();
    ++framesSinceReport;
    if (now - reportStartMs >= 500.0) {
        framesPerSecond = framesSinceReport * 1000.0 / (now - reportStartMs);
        framesSinceReport = 0;
        reportStartMs = now;
    }
    // A standing clock draws only when something changed.
    if (paused && !redraw) {
        return EM_TRUE;
    }
    redraw = false;
    frameTimeMs = frameClock();
    const bool keepGoing = Frame();
    if (overlayVisible && clientSize.width > 0 && clientSize.height > 0) {
        viewOverlay.draw(frameRecord, static_cast<float>(clientSize.width) /
                                          static_cast<float>(clientSize.height));
    }
    lastCounts = countRecord(frameRecord);
    if (!firstFrameDrawn) {
        firstFrameDrawn = true;
        updatePanel();
        glasswake_page_frame_drawn();
    }
    if (!keepGoing) {
        // The desktop closes the window here; a page stops drawing.
        onBeforeUnload(0, nullptr, nullptr);
        return EM_FALSE;
    }
    return EM_TRUE;
}

// "t=MS", "depth=D", "size=WxH"; anything else, or a value that does not
// parse in full, is ignored.
bool parseNumber(const char* text, long long low, long long high, long long& value,
                 const char** end) {
    char* stop = nullptr;
    if (*text < '0' || *text > '9') {
        return false;
    }
    value = std::strtoll(text, &stop, 10);
    *end = stop;
    return value >= low && value <= high;
}

struct Options {
    bool fixedClock = false;
    std::uint32_t clockMs = 0;
    int depth = -1;
    int width = 0;
    int height = 0;
};

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const char* end = nullptr;
        long long value = 0;
        long long second = 0;
        if (std::strncmp(argument, "t=", 2) == 0) {
            if (parseNumber(argument + 2, 0, 0xFFFFFFFFLL, value, &end) && *end == '\0') {
                options.fixedClock = true;
                options.clockMs = static_cast<std::uint32_t>(value);
            }
        } else if (std::strncmp(argument, "depth=", 6) == 0) {
            if (parseNumber(argument + 6, 0, kMaxViewerDepth, value, &end) && *end == '\0') {
                options.depth = static_cast<int>(value);
            }
        } else if (std::strncmp(argument, "size=", 5) == 0) {
            if (parseNumber(argument + 5, 1, kMaxCanvasSide, value, &end) && *end == 'x' &&
                parseNumber(end + 1, 1, kMaxCanvasSide, second, &end) && *end == '\0') {
                options.width = static_cast<int>(value);
                options.height = static_cast<int>(second);
            }
        }
    }
    return options;
}

}  // namespace

extern "C" {
// For the page's tests: the clock, the pause state and what the last frame drew.
EMSCRIPTEN_KEEPALIVE double glasswake_clock_ms() {
    return clockMs();
}
EMSCRIPTEN_KEEPALIVE int glasswake_paused() {
    return paused ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE double glasswake_views() {
    return static_cast<double>(lastCounts.views);
}
EMSCRIPTEN_KEEPALIVE int glasswake_overlay() {
    return overlayVisible ? 1 : 0;
}
}

int main(int argc, char** argv) {
    const Options options = parseArguments(argc, argv);
    if (options.depth >= 0) {
        frameDepthBudget = options.depth;
    }
    sceneBackend = &webglBackend;
    if (!PreInit()) {
        showFailure(kPreInitFailed);
        return 0;
    }

    // The canvas and its context in place of the window.
    fixedWidth = options.width;
    fixedHeight = options.height;
    if (fixedWidth != 0) {
        emscripten_set_element_css_size(kCanvas, fixedWidth, fixedHeight);
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;  // the desktop draws without multisampling
    attributes.majorVersion = 1;
    // A fixed frame stays readable after it is shown, for links and tests.
    attributes.preserveDrawingBuffer = options.fixedClock ? EM_TRUE : EM_FALSE;
    glContext = emscripten_webgl_create_context(kCanvas, &attributes);
    if (glContext <= 0) {
        glContext = 0;
        showFailure(kWindowCreationFailed);
        return 0;
    }
    emscripten_webgl_make_context_current(glContext);
    GLint limits[3] = {0, 0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, limits);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, limits + 2);
    for (const GLint limit : limits) {
        largestDrawingSide = limit > 0 ? std::min(largestDrawingSide, limit) : largestDrawingSide;
    }
    emscripten_set_window_title(GetCaption());
    fitCanvas();

    startMs = emscripten_get_now();
    if (options.fixedClock) {
        paused = true;
        pausedClockMs = options.clockMs;
    }
    if (!Init()) {
        showFailure(kInitFailed);
        return 0;
    }
    // Without it the page still runs; V then shows nothing.
    viewOverlay.create();
    emscripten_set_interval(onTitleTimer, kTitleTimerPeriodMs, nullptr);
    running = true;

    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKeyDown);
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onResize);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                             onFullscreenChange);
    emscripten_set_beforeunload_callback(nullptr, onBeforeUnload);
    const struct {
        const char* target;
        std::intptr_t id;
    } buttons[] = {
        {"#pause", static_cast<std::intptr_t>(Control::Pause)},
        {"#back", static_cast<std::intptr_t>(Control::StepBack)},
        {"#forward", static_cast<std::intptr_t>(Control::StepForward)},
        {"#info-button", static_cast<std::intptr_t>(Control::Info)},
        {"#views", static_cast<std::intptr_t>(Control::Overlay)},
        {"#fullscreen", static_cast<std::intptr_t>(Control::Fullscreen)},
        {"#depth0", -1},
        {"#depth1", -2},
        {"#depth2", -3},
        {"#depth3", -4},
        {"#depth4", -5},
    };
    for (const auto& button : buttons) {
        emscripten_set_click_callback(button.target, reinterpret_cast<void*>(button.id), EM_FALSE,
                                      onButton);
    }
    reportStartMs = emscripten_get_now();
    updatePanel();
    emscripten_request_animation_frame_loop(onAnimationFrame, nullptr);
    return 0;
}
