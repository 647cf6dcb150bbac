#include "app/win32/display.h"

#include <GL/gl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "scene/hooks.h"

DisplaySettings displaySettings;
HGLRC glContext = nullptr;

namespace {

// The display-mode record as the full-screen switch fills it: the layout
// without the panning fields, which is what older systems accept.
constexpr WORD kDisplayModeRecordSize = 148;
static_assert(offsetof(DEVMODEA, dmPanningWidth) == kDisplayModeRecordSize,
              "the mode record ends where the panning fields begin");
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "pixel-format descriptor layout");

int readSetting(const char* key, int defaultValue) {
    return static_cast<int>(
        GetPrivateProfileIntA(kSettingsSection, key, defaultValue, kSettingsFileName));
}

int desktopDepth() {
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return depth;
}

}  // namespace

void loadSettings() {
    const int fullscreen = readSetting(kFullscreenKey, kDefaultFullscreen);
    const int width = readSetting(kWidthKey, kDefaultWidth);
    const int height = readSetting(kHeightKey, kDefaultHeight);
    const int bitsPerPixel = readSetting(kBitsPerPixelKey, kDefaultBitsPerPixel);
    // The screen is only asked when the file leaves the depth open.
    const int depth = bitsPerPixel == 0 ? desktopDepth() : 0;
    displaySettings = settingsFromProfile(fullscreen, width, height, bitsPerPixel, depth);
}

void saveSettings() {
    const SettingsText text = formatSettings(displaySettings);
    WritePrivateProfileStringA(kSettingsSection, kFullscreenKey, text.fullscreen,
                               kSettingsFileName);
    WritePrivateProfileStringA(kSettingsSection, kWidthKey, text.width, kSettingsFileName);
    WritePrivateProfileStringA(kSettingsSection, kHeightKey, text.height, kSettingsFileName);
    WritePrivateProfileStringA(kSettingsSection, kBitsPerPixelKey, text.bitsPerPixel,
                               kSettingsFileName);
}

bool enterFullscreenMode() {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = kDisplayModeRecordSize;
    mode.dmPelsWidth = static_cast<DWORD>(clientSize.width);
    mode.dmPelsHeight = static_cast<DWORD>(clientSize.height);
    if (displaySettings.bitsPerPixel != 0) {
        mode.dmBitsPerPel = displaySettings.bitsPerPixel;
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    } else {
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    }
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void restoreDisplayMode() {
    ChangeDisplaySettingsA(nullptr, 0);
}

void setupPixelFormat(HDC dc) {
    // Filled on first use and kept for the whole run.
    static PIXELFORMATDESCRIPTOR descriptor;
    static bool filled = false;
    if (!filled) {
        std::memset(&descriptor, 0, sizeof descriptor);
        descriptor.nSize = sizeof descriptor;
        descriptor.nVersion = 1;
        descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        descriptor.iPixelType = PFD_TYPE_RGBA;
        descriptor.cColorBits = displaySettings.bitsPerPixel;
        // The depth buffer asks for as many bits as the colour: 16 with 16, 32 with 32.
        descriptor.cDepthBits = displaySettings.bitsPerPixel;
        descriptor.iLayerType = PFD_MAIN_PLANE;
        filled = true;
    }
    const int format = ChoosePixelFormat(dc, &descriptor);
    debugPrint(kPixelFormatReport, format, GetDeviceCaps(dc, BITSPIXEL));
    SetPixelFormat(dc, format, &descriptor);
}

void resizeViewport(int width, int height) {
    glViewport(0, 0, width, viewportHeight(height));
}

std::size_t formatDebugText(char* buffer, std::size_t capacity, const char* format,
                            std::va_list arguments) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    const int length = std::vsnprintf(buffer, capacity, format, arguments);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    // A text longer than the buffer is cut; the terminator always fits.
    buffer[capacity - 1] = '\0';
    const std::size_t written = static_cast<std::size_t>(length);
    return written < capacity ? written : capacity - 1;
}

void debugPrint(const char* format, ...) {
    char buffer[1024];
    std::va_list arguments;
    va_start(arguments, format);
    formatDebugText(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    OutputDebugStringA(buffer);
}
