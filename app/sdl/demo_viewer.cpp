#include "app/sdl/demo_viewer.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/frame_readback.h"
#include "app/linux_paths.h"
#include "app/sdl/display.h"
#include "app/sdl/picture_file.h"
#include "app/sdl/shell.h"
#include "app/sdl/text_overlay.h"
#include "app/viewer.h"
#include "render/backends/outline_lines.h"
#include "render/frame_record.h"
#include "render/frame_state.h"
#include "render/view_outlines.h"
#include "scene/hooks.h"

namespace {

// A wheel notch multiplies the distance by e^0.1, as 100 pixels of a
// browser's wheel do on the page.
constexpr double kWheelNotchZoom = 0.1;
// How long a message about a saved picture stays on screen.
constexpr Uint32 kMessageMs = 4000;
constexpr Uint32 kRateWindowMs = 500;
// Enough outline segments for the deepest budget the keys offer.
constexpr std::size_t kMaxSegments = 1 << 16;

Viewer viewer;
// A key, a drag or the command line changed what is shown: the title says how.
bool changed = false;
// The last key press was a held key's repeat (for the "?" it types).
bool lastKeyRepeated = false;
// P was pressed: the next frame that fits the readback's memory is read.
bool pictureAsked = false;
// A frame was read for P: it is saved once it is on screen.
bool pictureRead = false;
FrameReadback readback;
// M: one sample per pixel on the multisampled surface, for this run.
bool smoothOff = false;

std::vector<OutlineSegment> segments;
RecordCounts lastCounts;
Uint32 rateStartMs = 0;
int framesSinceRate = 0;
double framesPerSecond = 0.0;
std::string message;
Uint32 messageUntilMs = 0;
char title[256];
char helpText[1536];

// The browser's name for the key at this place on the keyboard.
std::string keyCode(SDL_Scancode scancode) {
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        return std::string("Key") + static_cast<char>('A' + (scancode - SDL_SCANCODE_A));
    }
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_0) {
        return std::string("Digit") + static_cast<char>('0' + (scancode - SDL_SCANCODE_1 + 1) % 10);
    }
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_0) {
        return std::string("Numpad") +
               static_cast<char>('0' + (scancode - SDL_SCANCODE_KP_1 + 1) % 10);
    }
    switch (scancode) {
        case SDL_SCANCODE_SPACE:
            return "Space";
        case SDL_SCANCODE_LEFT:
            return "ArrowLeft";
        case SDL_SCANCODE_RIGHT:
            return "ArrowRight";
        case SDL_SCANCODE_UP:
            return "ArrowUp";
        case SDL_SCANCODE_DOWN:
            return "ArrowDown";
        case SDL_SCANCODE_EQUALS:
            return "Equal";
        case SDL_SCANCODE_MINUS:
            return "Minus";
        case SDL_SCANCODE_KP_PLUS:
            return "NumpadAdd";
        case SDL_SCANCODE_KP_MINUS:
            return "NumpadSubtract";
        default:
            return "";
    }
}

// Full screen for this run only (the saved setting stays). Where no window
// manager puts the window back, it goes back to where it was by itself.
void toggleFullscreen() {
    static SDL_Rect windowed;
    SDL_Window* window = shellWindow();
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0) {
        SDL_SetWindowFullscreen(window, 0);
        if (windowed.w > 0) {
            SDL_SetWindowSize(window, windowed.w, windowed.h);
            SDL_SetWindowPosition(window, windowed.x, windowed.y);
        }
        return;
    }
    SDL_GetWindowPosition(window, &windowed.x, &windowed.y);
    SDL_GetWindowSize(window, &windowed.w, &windowed.h);
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    coverDisplay(window);
}

void showMessage(const std::string& text) {
    message = text;
    messageUntilMs = SDL_GetTicks() + kMessageMs;
}

// The memory P reads the frame into, made outside the frame while one is
// asked for: held only from the key to the saved file. A minimised window
// waits for its size.
void fitReadback() {
    if (clientSize.width <= 0 || clientSize.height <= 0 ||
        readback.fit(clientSize.width, clientSize.height)) {
        return;
    }
    pictureAsked = false;
    std::fputs("glasswake: the picture was not saved: no memory to read it into\n", stderr);
    showMessage("Not saved: no memory to read the picture into");
}

// The controls the shell does itself. Share (the page's link) has no
// meaning here.
void actHere(Control control) {
    if (control == Control::Share) {
        return;
    }
    changed = true;
    if (control == Control::Fullscreen) {
        toggleFullscreen();
    } else if (control == Control::Picture) {
        pictureAsked = true;
        fitReadback();
    } else if (control == Control::Smooth) {
        smoothOff = !smoothOff;
    }
}

void act(Control control) {
    if (viewer.apply(control, frameTimeMs)) {
        changed = true;
    } else {
        actHere(control);
    }
}

void onKey(const SDL_KeyboardEvent& key) {
    lastKeyRepeated = key.repeat != 0;
    // Shortcuts with Ctrl, Alt or the system key stay the desktop's.
    if ((key.keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0) {
        return;
    }
    const KeyPress press =
        viewer.pressKey(keyCode(key.keysym.scancode).c_str(), key.repeat != 0, frameTimeMs);
    if (press.use == KeyUse::Applied) {
        changed = true;
    } else if (press.use == KeyUse::ForShell) {
        actHere(press.control);
    }
}

// The frame read for P, as it is on screen without the text boxes.
void saveReadPicture() {
    std::string note;
    const std::string folder =
        picturesFolder(std::getenv("XDG_PICTURES_DIR"), std::getenv("XDG_CONFIG_HOME"),
                       std::getenv("HOME"), userDatabaseHome(), note);
    std::string path;
    std::string problem = "no folder for pictures: " + note;
    if (!folder.empty() &&
        savePicture(folder, readback.rows(), readback.width(), readback.height(), path, problem)) {
        std::printf("glasswake: saved %s\n", path.c_str());
        std::fflush(stdout);
        showMessage("Saved " + path);
    } else {
        std::fprintf(stderr, "glasswake: the picture was not saved: %s\n", problem.c_str());
        showMessage("Not saved: " + problem);
    }
}

void countFrame() {
    const Uint32 now = SDL_GetTicks();
    ++framesSinceRate;
    if (now - rateStartMs >= kRateWindowMs) {
        framesPerSecond = framesSinceRate * 1000.0 / (now - rateStartMs);
        framesSinceRate = 0;
        rateStartMs = now;
    }
}

void drawPanels() {
    const int width = clientSize.width;
    const int height = clientSize.height;
    if (viewer.infoVisible) {
        char info[256];
        char where[96] = "orbit";
        if (viewer.frame.camera) {
            char camera[80];
            formatCamera(*viewer.frame.camera, camera, sizeof camera);
            std::snprintf(where, sizeof where, "camera %s", camera);
        }
        char rate[32] = "paused";
        if (!viewer.paused()) {
            std::snprintf(rate, sizeof rate, "%.1f fps", framesPerSecond);
        }
        std::snprintf(info, sizeof info, "%s\n%d views, %d polygons drawn a frame\ndepth %d\n%s",
                      rate, static_cast<int>(lastCounts.views), static_cast<int>(lastCounts.fans),
                      viewer.frame.depthBudget, where);
        drawTextBox(info, TextPlace::TopLeft, width, height);
    }
    if (viewer.helpVisible) {
        drawTextBox(helpText, TextPlace::Center, width, height);
    }
    if (!message.empty() && SDL_TICKS_PASSED(SDL_GetTicks(), messageUntilMs)) {
        message.clear();
    }
    if (!message.empty()) {
        drawTextBox(message.c_str(), TextPlace::Bottom, width, height);
    }
}

// The left button turns the camera as the page's pointer does: a drag, a
// glide after it, a double-click back to the orbit. SDL's event times are
// its ticks, which the glide's steps use too.
void onPointer(const SDL_Event& event) {
    if (event.type == SDL_MOUSEMOTION) {
        if ((event.motion.state & SDL_BUTTON_LMASK) != 0) {
            changed = true;
            viewer.drag(event.motion.xrel, event.motion.yrel, frameTimeMs);
            viewer.glide.moved(event.motion.xrel, event.motion.yrel, event.motion.timestamp);
        }
    } else if (event.button.button == SDL_BUTTON_LEFT) {
        if (event.type == SDL_MOUSEBUTTONUP) {
            viewer.glide.letGo(event.button.timestamp);
        } else if (event.button.clicks == 2) {
            act(Control::Orbit);
        } else {
            viewer.glide.grab(event.button.timestamp);
        }
    }
}

}  // namespace

void setUpViewer(const DemoOptions& options) {
    viewer.start(0.0, options.camera.has_value());
    viewer.frame.camera = options.camera;
    if (options.depth >= 0) {
        viewer.frame.depthBudget = options.depth;
    }
    changed = options.camera || options.depth >= 0;
    segments.reserve(kMaxSegments);
    std::snprintf(helpText, sizeof helpText, "Keys and mouse\n%s", demoKeys().c_str());
}

void viewerEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
            onKey(event.key);
            viewer.redraw = true;
            break;
        case SDL_TEXTINPUT:
            // "?" by the character it types, wherever the layout puts it.
            if (event.text.text[0] == '?' && event.text.text[1] == '\0' && !lastKeyRepeated) {
                act(Control::Help);
            }
            break;
        case SDL_MOUSEMOTION:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            onPointer(event);
            break;
        case SDL_MOUSEWHEEL: {
            const double notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED
                                       ? -event.wheel.preciseY
                                       : event.wheel.preciseY;
            changed = true;
            viewer.zoom(std::exp(-notches * kWheelNotchZoom), frameTimeMs);
            break;
        }
        case SDL_WINDOWEVENT:  // resized, shown or uncovered: draw again
            viewer.redraw = true;
            break;
        default:
            break;
    }
}

bool viewerIdle() {
    return viewer.paused() && !viewer.redraw && message.empty() && !viewer.glide.gliding() &&
           !pictureAsked;
}

bool viewerFrame() {
    if (viewer.glideOn(SDL_GetTicks(), frameTimeMs)) {
        changed = true;
    }
    viewer.frame.timeMs = viewer.frameClock(frameTimeMs);
    viewer.frame.width = clientSize.width;
    viewer.frame.height = clientSize.height;
    viewer.redraw = false;
    if (smoothOff) {
        glDisable(GL_MULTISAMPLE);
    } else {
        glEnable(GL_MULTISAMPLE);
    }
    drawFrame(viewer.frame);
    lastCounts = countRecord(frameState.record);
    countFrame();
    if (viewer.overlay && clientSize.width > 0 && clientSize.height > 0) {
        const float aspect =
            static_cast<float>(clientSize.width) / static_cast<float>(clientSize.height);
        segments.clear();
        const CommandRange all = viewSubtree(frameState.record, -1);
        appendViewOutlines(frameState.record, all, segments);
        appendOutlineLegend(aspect, deepestView(frameState.record, all), segments);
        drawOutlineSegments(segments, aspect);
    }
    if (pictureAsked && readback.fits(clientSize.width, clientSize.height)) {
        pictureAsked = false;
        pictureRead = readback.read();
    }
    drawPanels();
    return true;
}

// Between frames: the picture read is encoded and written, and the
// readback fitted to a window that changed size since P.
void viewerPresented() {
    if (pictureRead) {
        pictureRead = false;
        saveReadPicture();
        readback.release();
    }
    if (pictureAsked) {
        fitReadback();
    }
}

const char* viewerTitle() {
    if (!changed) {
        return GetTitle();
    }
    char where[96] = "orbit";
    if (viewer.frame.camera) {
        char camera[80];
        formatCamera(*viewer.frame.camera, camera, sizeof camera);
        std::snprintf(where, sizeof where, "camera %s", camera);
    }
    std::snprintf(title, sizeof title, "%s - %s, depth %d, %s", GetTitle(),
                  viewer.paused() ? "paused" : "running", viewer.frame.depthBudget, where);
    return title;
}
