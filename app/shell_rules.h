#pragma once

#include <cstdint>
#include <string>

#include "scene/scene_constants.h"

// The platform-free rules every shell shares: what the settings file's values
// become, how the command line changes them, how they are written back, the
// frame clock's arithmetic and the fixed texts the user sees.

struct DisplaySettings {
    bool fullscreen = false;
    std::int32_t width = kDefaultWidth;
    std::int32_t height = kDefaultHeight;
    std::uint8_t bitsPerPixel = 0;  // 8 bits wide: a read 256 becomes 0
};

// Settings file, section and keys; the name carries no directory.
constexpr const char* kSettingsFileName = "Brightforge.INI";
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kFullscreenKey = "Fullscreen";
constexpr const char* kWidthKey = "Width";
constexpr const char* kHeightKey = "Height";
constexpr const char* kBitsPerPixelKey = "BitsPerPixel";

// Values used when a key is missing.
// (kDefaultWidth and kDefaultHeight, the demo's size, are the scene's.)
constexpr std::int32_t kDefaultFullscreen = 0;
constexpr std::int32_t kDefaultBitsPerPixel = 0;

// The integer a profile value stands for, read the way the Windows profile
// calls read one: a missing (null) or empty value gives `defaultValue`; else
// leading blanks are skipped, an optional sign and the decimal digits up to
// the first other character are taken (no digits: 0), and the result wraps to
// 32 bits like the platform's own conversion instead of overflowing.
std::int32_t parseProfileInt(const char* text, std::int32_t defaultValue);

// What the four integers read for the keys become: Fullscreen non-zero is on,
// Width 0 is kDefaultWidth, Height 0 is kDefaultHeight, BitsPerPixel is cut
// to its low 8 bits and 0 means `desktopDepth` (itself cut to 8 bits). Width
// and height keep any other value, negative ones included.
DisplaySettings settingsFromProfile(std::int32_t fullscreen, std::int32_t width,
                                    std::int32_t height, std::int32_t bitsPerPixel,
                                    int desktopDepth);

// The argument text: every argument after the program name, joined by single spaces.
std::string joinArguments(int argc, const char* const* argv);

// "-fullscreen" anywhere turns full screen on; then "-fullscreen=0" anywhere
// turns it off again, so it always wins. Case-sensitive substring searches.
void applyCommandLine(DisplaySettings& settings, const std::string& argumentText);

// The four values as they are written back, each a decimal string.
struct SettingsText {
    char fullscreen[2];    // "1" or "0"
    char width[12];        // "%d"
    char height[12];       // "%d"
    char bitsPerPixel[4];  // the 8-bit value, "%d"
};
SettingsText formatSettings(const DisplaySettings& settings);

// Milliseconds since `startCounter`: ((now - start) * 1000) / frequency in
// signed 64-bit arithmetic with truncating division, stored in 32 bits (it
// wraps after 2^32 ms). Computed without the intermediate overflow the plain
// product would hit after about 106 days at a nanosecond counter; a frequency
// of 0 gives 0.
std::uint32_t frameTimeFromCounter(std::int64_t now, std::int64_t startCounter,
                                   std::int64_t counterFrequency);

// The GL viewport height for a client height: 0 becomes 1 so the projection
// never divides by zero; the client size itself keeps the 0.
inline std::int32_t viewportHeight(std::int32_t height) {
    return height == 0 ? 1 : height;
}

// The title timer.
constexpr int kTitleTimerId = 123;
constexpr std::uint32_t kTitleTimerPeriodMs = 500;

// The one debugger line: the chosen pixel format and the display's depth.
constexpr const char* kPixelFormatReport = "PixelFormat Selected: %d\nBPP: %d\n";

// Start-up failures: a message box with these texts (the application's
// reason, when it gives one, on a line below), then kStartupFailedExitCode.
constexpr int kStartupFailedExitCode = 1;
struct FailureMessage {
    const char* text;
    const char* caption;
};
constexpr FailureMessage kPreInitFailed{
    "App returned false on PreInit(), we shouldn't really continue.", "Error"};
constexpr FailureMessage kWindowClassFailed{
    "Error creating the window class, right before creating the window.", "Fatal Blow"};
constexpr FailureMessage kWindowCreationFailed{"App failed to create the rendering window.",
                                               "Fatal Blow"};
constexpr FailureMessage kInitFailed{"App failed to initialize.", "Fatal Blow"};

// The message's text with the reason on the line below; the text alone when
// the reason is null or empty.
std::string failureText(const FailureMessage& message, const char* reason);
