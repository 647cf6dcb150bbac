// The browser shell: the page's canvas and WebGL context stand in for the
// window and its GL context, the animation-frame callback for the message
// loop, and the page's high-resolution timer for the performance counter.
// The hooks run in the desktop order: PreInit, context, clock, Init, then one
// frame per animation frame, and Shutdown when the page goes away. The page
// draws each frame from its own FrameInputs: its clock, canvas size, depth
// and, once the visitor has moved it, its camera.

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
#include "app/viewer.h"
#include "app/web/page_url.h"
#include "app/web/sample_target.h"
#include "app/web/view_overlay.h"
#include "render/backends/backend_by_name.h"
#include "render/backends/shader_program.h"
#include "render/frame_record.h"
#include "render/frame_state.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "scene/scene_constants.h"

// The page side (page_library.js).
extern "C" {
void glasswake_page_failure(const char* caption, const char* text, int step);
void glasswake_page_frame_drawn();
void glasswake_page_window_size(double* width, double* height);
void glasswake_page_panel(int depth, bool paused, bool infoVisible, bool overlay,
                          double framesPerSecond, int samples, double views, double fans);
void glasswake_page_camera(const char* camera);
void glasswake_page_status(const char* text);
bool glasswake_page_keys_free();
void glasswake_page_share(const char* query);
void glasswake_page_share_stale();
void glasswake_page_save_png(const char* name);
bool glasswake_page_reduced_motion();
}

namespace {

constexpr const char* kCanvas = "#glasswake";
constexpr const char* kStage = "#stage";
// The canvas's part of the page, between the top and the control bar.
constexpr const char* kView = "#view";
constexpr const char* kContextLostText =
    "The graphics context was lost; drawing resumes when the browser gives it back.";

WebViewOverlay viewOverlay;
SampleTarget sampleTarget;
bool samplesRefusalShown = false;
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE glContext = 0;
bool running = false;

// The clock, the camera, the depth and the panels, as the desktop demo has
// them; the clock also stands while the tab is hidden and while the context
// is lost. `shown` is what the share link says besides.
Viewer viewer;
FrameInputs& frame = viewer.frame;
PageOptions shown;

double fittedPixelRatio = 0.0;
// The longest side the context draws (set once it exists).
int largestDrawingSide = kMaxCanvasSide;

bool firstFrameDrawn = false;
std::uint32_t framesDrawn = 0;

// The query of the link on show, while it is: a frame that differs takes it away.
char sharedQuery[256] = "";
RecordCounts lastCounts;
int framesSinceReport = 0;
double reportStartMs = 0.0;
double framesPerSecond = 0.0;

bool contextLost() {
    return viewer.stands(kStandContextLost);
}

void setStanding(StandReason reason, bool value) {
    viewer.setStanding(reason, value, emscripten_get_now());
}

// The step of start-up that failed, for the page's advice.
enum class FailedStep { Data = 0, Context = 1, Drawing = 2 };

// A shader that did not build adds why to the message.
void showFailure(const FailureMessage& message, FailedStep step) {
    const bool why = shaderFailure.text[0] != '\0';
    char text[640];
    std::snprintf(text, sizeof text, "%s%s%s%s", message.text, why ? " (" : "", shaderFailure.text,
                  why ? ")" : "");
    glasswake_page_failure(message.caption, text, static_cast<int>(step));
}

void updatePanel() {
    char camera[96] = "";
    if (frame.camera)
        formatCamera(*frame.camera, camera, sizeof camera);
    glasswake_page_camera(camera);
    glasswake_page_panel(frame.depthBudget, viewer.paused(), viewer.infoVisible, viewer.overlay,
                         framesPerSecond, sampleTarget.samples,
                         static_cast<double>(lastCounts.views),
                         static_cast<double>(lastCounts.fans));
}

// The drawing size: the size from the URL, else the canvas's part of the
// page (less the control bar, or the screen in full screen) times the device
// pixel ratio, never more than the window's, with even sides (so a recording
// is exactly the picture: video encoders halve both sides for colour). Either
// is held to what the context can draw. The canvas is then shown at that
// size: the URL's unscaled, the page's at one drawing pixel a device pixel.
// The scene keeps the aspect and draws the black border.
void fitCanvas() {
    int width = shown.width;
    int height = shown.height;
    double ratio = 1.0;
    if (width == 0) {
        double cssWidth = 0.0;
        double cssHeight = 0.0;
        double windowWidth = 0.0;
        double windowHeight = 0.0;
        emscripten_get_element_css_size(kView, &cssWidth, &cssHeight);
        glasswake_page_window_size(&windowWidth, &windowHeight);
        ratio = emscripten_get_device_pixel_ratio();
        fittedPixelRatio = ratio;
        width = static_cast<int>(std::floor(std::min(cssWidth, windowWidth) * ratio)) & ~1;
        height = static_cast<int>(std::floor(std::min(cssHeight, windowHeight) * ratio)) & ~1;
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
        // A lost context reports no drawing buffer at all.
        if (glContext != 0 && !contextLost()) {
            emscripten_webgl_get_drawing_buffer_size(glContext, &bufferWidth, &bufferHeight);
        }
        if (bufferWidth < width || bufferHeight < height) {
            const int evenMask = shown.width == 0 ? ~1 : ~0;
            width = std::min(width, bufferWidth) & evenMask;
            height = std::min(height, bufferHeight) & evenMask;
            emscripten_set_canvas_element_size(kCanvas, width, height);
        }
    }
    emscripten_set_element_css_size(kCanvas, width / ratio, height / ratio);
    frame.width = width;
    frame.height = height;
    if (glContext != 0 && !contextLost()) {
        glViewport(0, 0, width, viewportHeight(height));
    }
    viewer.redraw = true;
}

// The demo's samples per pixel when smoothing is on (aa=1, key M) and the
// context offers them, else one; falling back says so once on the console.
void chooseSamples() {
    const int wanted = shown.smooth ? kDefaultSamples : 1;
    if (!sampleTarget.choose(wanted) && !samplesRefusalShown) {
        samplesRefusalShown = true;
        std::fprintf(stderr, "%d samples per pixel are not offered here; drawing with 1\n", wanted);
    }
}

// What the link to the frame on screen says.
PageOptions shownOptions() {
    PageOptions options = shown;
    options.clockMs = frame.timeMs;
    options.camera = frame.camera;
    options.depth = frame.depthBudget;
    options.overlay = viewer.overlay;
    return options;
}

// A link on show that no longer gives the frame drawn is taken away.
void retireStaleLink() {
    char query[sizeof sharedQuery];
    if (sharedQuery[0] != '\0' && (!formatPageQuery(shownOptions(), query, sizeof query) ||
                                   std::strcmp(query, sharedQuery) != 0)) {
        sharedQuery[0] = '\0';
        glasswake_page_share_stale();
    }
}

// Draws the frame of the page's inputs at the clock, with the views'
// outlines when they are on.
void drawNow() {
    viewer.redraw = false;
    frame.timeMs = viewer.frameClock(emscripten_get_now());
    sampleTarget.begin(frame.width, frame.height);
    drawFrame(frame);
    if (viewer.overlay && frame.width > 0 && frame.height > 0) {
        viewOverlay.draw(frameState.record,
                         static_cast<float>(frame.width) / static_cast<float>(frame.height));
    }
    sampleTarget.resolve();
    lastCounts = countRecord(frameState.record);
    ++framesDrawn;
    retireStaleLink();
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
    viewer.setDepth(depth);
    updatePanel();
}

// The link to exactly what is on screen. A running clock stops at the frame
// shown, and the camera moves to the link's rounding of it.
void share() {
    if (frame.camera) {
        frame.camera = shareableCamera(*frame.camera);
    } else {
        setStanding(kStandPaused, true);
        viewer.setClock(frame.timeMs, emscripten_get_now());
    }
    drawNow();
    shown = shownOptions();
    if (formatPageQuery(shown, sharedQuery, sizeof sharedQuery)) {
        glasswake_page_share(sharedQuery);
    } else {
        sharedQuery[0] = '\0';
    }
    updatePanel();
}

// The page's own controls: full screen, smooth edges, the link and the PNG.
void applyHere(Control control) {
    switch (control) {
        case Control::Fullscreen:
            toggleFullscreen();
            break;
        case Control::Smooth:
            shown.smooth = !shown.smooth;
            chooseSamples();
            viewer.redraw = true;
            break;
        case Control::Share:
            share();
            break;
        case Control::Picture:
            if (!contextLost()) {  // the canvas would be blank
                drawNow();
                glasswake_page_save_png("glasswake.png");
            }
            break;
        default:
            break;
    }
}

// The viewer's controls, and the page's own.
void apply(Control control) {
    if (!viewer.apply(control, emscripten_get_now())) {
        applyHere(control);
    }
    updatePanel();
}

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    // Browser shortcuts stay the browser's; keys on a focused control or
    // field, or in the help, are theirs.
    if (event->ctrlKey || event->altKey || event->metaKey || !glasswake_page_keys_free()) {
        return EM_FALSE;
    }
    // The keys, by their place on the keyboard (the page's script answers "?").
    const KeyPress press = viewer.pressKey(event->code, event->repeat, emscripten_get_now());
    if (press.use == KeyUse::ForShell) {
        applyHere(press.control);
    }
    if (press.use == KeyUse::Applied || press.use == KeyUse::ForShell) {
        updatePanel();
    }
    if (press.use != KeyUse::Unbound) {
        return EM_TRUE;
    }
    if (std::strcmp(event->code, "Escape") == 0) {
        emscripten_exit_fullscreen();
        return EM_FALSE;  // the page's script hides its boxes too
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

// A hidden tab draws nothing and its clock stands.
EM_BOOL onVisibilityChange(int, const EmscriptenVisibilityChangeEvent* event, void*) {
    setStanding(kStandHidden, event->hidden != 0);
    return EM_FALSE;
}

void onTitleTimer(void*) {
    if (running) {
        // The tab keeps the page's own title (what bookmarks keep), not the
        // desktop window's caption.
        updatePanel();
        // A new pixel ratio (another screen, zoom) need not come with a resize.
        if (shown.width == 0 && emscripten_get_device_pixel_ratio() != fittedPixelRatio) {
            fitCanvas();
        }
    }
}

const char* onBeforeUnload(int, const void*, void*) {
    if (running) {
        running = false;
        viewOverlay.destroy();
        sampleTarget.destroy(true);
        emscripten_webgl_make_context_current(0);
        emscripten_webgl_destroy_context(glContext);
        glContext = 0;
        Shutdown();
    }
    return nullptr;  // no question to the user
}

void countFrame() {
    const double now = emscripten_get_now();
    ++framesSinceReport;
    if (now - reportStartMs >= 500.0) {
        framesPerSecond = framesSinceReport * 1000.0 / (now - reportStartMs);
        framesSinceReport = 0;
        reportStartMs = now;
    }
}

EM_BOOL onAnimationFrame(double, void*) {
    if (!running) {
        return EM_FALSE;
    }
    const double now = emscripten_get_now();
    if (viewer.glideOn(now, now)) {
        updatePanel();
    }
    // Nothing to draw on while hidden or without a context; a standing
    // clock draws only when something changed.
    if (viewer.stands(kStandHidden) || contextLost() || (viewer.paused() && !viewer.redraw)) {
        return EM_TRUE;
    }
    countFrame();
    drawNow();
    if (!firstFrameDrawn) {
        firstFrameDrawn = true;
        updatePanel();
        glasswake_page_frame_drawn();
    }
    return EM_TRUE;
}

// The canvas's context: no alpha, depth, stencil or multisampling of its
// own, like the desktop's (the samples come from the page's sample target,
// on WebGL 2 where the browser has it); the drawing stays readable after it
// is shown, for the PNG button and links.
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE createContext() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    for (const int version : {2, 1}) {
        attributes.majorVersion = version;
        context = context > 0 ? context : emscripten_webgl_create_context(kCanvas, &attributes);
    }
    if (context <= 0) {
        return 0;
    }
    emscripten_webgl_make_context_current(context);
    GLint limits[3] = {0, 0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, limits);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, limits + 2);
    for (const GLint limit : limits) {
        largestDrawingSide = limit > 0 ? std::min(largestDrawingSide, limit) : largestDrawingSide;
    }
    return context;
}

EM_BOOL onContextLost(int, const void*, void*) {
    setStanding(kStandContextLost, true);
    glasswake_page_status(kContextLostText);
    return EM_TRUE;  // asks the browser to give the context back
}

void watchContext();

// The browser gave the context back empty: a new handle on it, then the
// backend, its texture and the overlay again.
EM_BOOL onContextRestored(int, const void*, void*) {
    emscripten_webgl_make_context_current(0);
    sceneBackend->destroy();  // with no context current it only forgets
    viewOverlay.destroy();
    sampleTarget.destroy(false);
    emscripten_webgl_destroy_context(glContext);
    glContext = createContext();
    if (glContext == 0 || !createSceneBackend()) {
        showFailure(kInitFailed, FailedStep::Drawing);
        running = false;
        return EM_TRUE;
    }
    viewOverlay.create();
    chooseSamples();
    watchContext();  // destroying the old handle took its listeners
    glasswake_page_status("");
    setStanding(kStandContextLost, false);
    fitCanvas();
    return EM_TRUE;
}

void watchContext() {
    emscripten_set_webglcontextlost_callback(kCanvas, nullptr, EM_TRUE, onContextLost);
    emscripten_set_webglcontextrestored_callback(kCanvas, nullptr, EM_TRUE, onContextRestored);
}

void listen() {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKeyDown);
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onResize);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                             onFullscreenChange);
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, onVisibilityChange);
    emscripten_set_beforeunload_callback(nullptr, onBeforeUnload);
    watchContext();
    const struct {
        const char* target;
        Control control;
    } buttons[] = {
        {"#pause", Control::Pause},         {"#back", Control::StepBack},
        {"#forward", Control::StepForward}, {"#info-button", Control::Info},
        {"#views", Control::Overlay},       {"#fullscreen", Control::Fullscreen},
        {"#orbit", Control::Orbit},         {"#share", Control::Share},
        {"#png", Control::Picture},
    };
    for (const auto& button : buttons) {
        emscripten_set_click_callback(
            button.target, reinterpret_cast<void*>(static_cast<std::intptr_t>(button.control)),
            EM_FALSE, onButton);
    }
    for (std::intptr_t depth = 0; depth <= kMaxViewerDepth; ++depth) {
        char target[16];
        std::snprintf(target, sizeof target, "#depth%d", static_cast<int>(depth));
        emscripten_set_click_callback(target, reinterpret_cast<void*>(-depth - 1), EM_FALSE,
                                      onButton);
    }
}

// What the URL asks for.
void applyOptions(const PageOptions& options) {
    shown = options;
    frame.depthBudget = options.depth >= 0 ? options.depth : frame.depthBudget;
    frame.camera = options.camera;
    viewer.overlay = options.overlay;
}

// The clock starts now; a fixed time, a camera or reduced motion start it
// paused, and a page opened in a background tab starts with it standing.
void startClock(const PageOptions& options) {
    const bool paused = options.clockMs || options.camera || glasswake_page_reduced_motion();
    viewer.start(emscripten_get_now(), paused, options.clockMs.value_or(0));
    EmscriptenVisibilityChangeEvent visibility{};
    setStanding(kStandHidden,
                emscripten_get_visibility_status(&visibility) == EMSCRIPTEN_RESULT_SUCCESS &&
                    visibility.hidden);
}

}  // namespace

extern "C" {
// For the page's own script, with the events' times: a pointer went down
// (or a pinch began); a drag of (dx, dy) CSS pixels turns the camera so the
// scene follows the pointer; the pointer let go, and the camera glides on
// unless the visitor asked for reduced motion; a pinch or the wheel
// multiplies the distance by `factor`.
EMSCRIPTEN_KEEPALIVE void glasswake_grab(double atMs) {
    viewer.glide.grab(atMs);
}
EMSCRIPTEN_KEEPALIVE void glasswake_turn(double dx, double dy, double atMs) {
    viewer.drag(dx, dy, emscripten_get_now());
    viewer.glide.moved(dx, dy, atMs);
    updatePanel();
}
EMSCRIPTEN_KEEPALIVE void glasswake_let_go(double atMs) {
    if (!glasswake_page_reduced_motion()) {
        viewer.glide.letGo(atMs);
    }
}
// Keys the program does not answer (help, recording) stop a glide too.
EMSCRIPTEN_KEEPALIVE void glasswake_stop_glide() {
    viewer.glide.stop();
}
EMSCRIPTEN_KEEPALIVE void glasswake_zoom(double factor) {
    viewer.zoom(factor, emscripten_get_now());
    updatePanel();
}
// For the page's script: the canvas's box changed without a window resize
// (the bar wrapped, a panel came or went), so its drawing buffer is fitted again.
EMSCRIPTEN_KEEPALIVE void glasswake_refit() {
    if (running) {
        fitCanvas();
    }
}
// For the page's script: what the frame is drawn from changed outside the
// page's own inputs (the visitor's files were loaded), so it is drawn again.
EMSCRIPTEN_KEEPALIVE void glasswake_redraw() {
    viewer.redraw = true;
}
// For the page's tests: the clock, the pause state, what the last frame drew.
EMSCRIPTEN_KEEPALIVE double glasswake_clock_ms() {
    return viewer.clockMs(emscripten_get_now());
}
EMSCRIPTEN_KEEPALIVE int glasswake_paused() {
    return viewer.paused() ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE double glasswake_views() {
    return static_cast<double>(lastCounts.views);
}
EMSCRIPTEN_KEEPALIVE int glasswake_overlay() {
    return viewer.overlay ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE int glasswake_samples() {
    return sampleTarget.samples;
}
EMSCRIPTEN_KEEPALIVE double glasswake_frames() {
    return static_cast<double>(framesDrawn);
}
// Whether a change waits for the next frame: once it is 0, what the last
// input changed is on the canvas.
EMSCRIPTEN_KEEPALIVE int glasswake_redraw_due() {
    return viewer.redraw ? 1 : 0;
}
// Why start-up failed, for the page to show below the message: a file's name
// and the reader's reason ("data/crystal2.lwo: No such file or directory");
// "" when nothing failed or there is nothing to add.
EMSCRIPTEN_KEEPALIVE const char* glasswake_failure_reason() {
    return GetFailureReason();
}
}

int main(int argc, char** argv) {
    const PageOptions options = parsePageArguments(argc, argv);
    sceneBackend = makeBackend("auto");
    if (!PreInit()) {
        showFailure(kPreInitFailed, FailedStep::Data);
        return 0;
    }
    // The canvas and its context in place of the window.
    applyOptions(options);
    glContext = createContext();
    if (glContext == 0) {
        showFailure(kWindowCreationFailed, FailedStep::Context);
        return 0;
    }
    fitCanvas();

    startClock(options);
    if (!Init()) {
        showFailure(kInitFailed, FailedStep::Drawing);
        return 0;
    }
    // Without it the page still runs; V then shows nothing.
    viewOverlay.create();
    chooseSamples();
    emscripten_set_interval(onTitleTimer, kTitleTimerPeriodMs, nullptr);
    running = true;
    listen();
    reportStartMs = emscripten_get_now();
    updatePanel();
    emscripten_request_animation_frame_loop(onAnimationFrame, nullptr);
    return 0;
}
