#include "app/shell_rules.h"

#include <cstdio>

std::int32_t parseProfileInt(const char* text, std::int32_t defaultValue) {
    if (text == nullptr || *text == '\0') {
        return defaultValue;
    }
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    bool negative = false;
    if (*text == '-' || *text == '+') {
        negative = *text == '-';
        ++text;
    }
    // Unsigned arithmetic wraps instead of overflowing.
    std::uint32_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10u + static_cast<std::uint32_t>(*text - '0');
        ++text;
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<std::int32_t>(value);
}

DisplaySettings settingsFromProfile(std::int32_t fullscreen, std::int32_t width,
                                    std::int32_t height, std::int32_t bitsPerPixel,
                                    int desktopDepth) {
    DisplaySettings settings;
    settings.fullscreen = fullscreen != 0;
    settings.width = width == 0 ? kDefaultWidth : width;
    settings.height = height == 0 ? kDefaultHeight : height;
    // The test is on the whole value, the cut comes after: 256 stays 0 and
    // does not fall back to the desktop depth.
    if (bitsPerPixel != 0) {
        settings.bitsPerPixel = static_cast<std::uint8_t>(bitsPerPixel & 0xFF);
    } else {
        settings.bitsPerPixel = static_cast<std::uint8_t>(desktopDepth & 0xFF);
    }
    return settings;
}

std::string joinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

void applyCommandLine(DisplaySettings& settings, const std::string& argumentText) {
    if (argumentText.find("-fullscreen") != std::string::npos) {
        settings.fullscreen = true;
    }
    if (argumentText.find("-fullscreen=0") != std::string::npos) {
        settings.fullscreen = false;
    }
}

SettingsText formatSettings(const DisplaySettings& settings) {
    SettingsText text{};
    std::snprintf(text.fullscreen, sizeof text.fullscreen, "%s", settings.fullscreen ? "1" : "0");
    std::snprintf(text.width, sizeof text.width, "%d", static_cast<int>(settings.width));
    std::snprintf(text.height, sizeof text.height, "%d", static_cast<int>(settings.height));
    std::snprintf(text.bitsPerPixel, sizeof text.bitsPerPixel, "%d",
                  static_cast<int>(settings.bitsPerPixel));
    return text;
}

std::uint32_t frameTimeFromCounter(std::int64_t now, std::int64_t startCounter,
                                   std::int64_t counterFrequency) {
    if (counterFrequency <= 0) {
        return 0;
    }
    const std::int64_t elapsed = now - startCounter;
    // elapsed = q * f + r, so (elapsed * 1000) / f = q * 1000 + (r * 1000) / f,
    // also for negative elapsed (both divisions truncate toward zero).
    const std::int64_t whole = elapsed / counterFrequency;
    const std::int64_t rest = elapsed % counterFrequency;
    const std::int64_t ms = whole * 1000 + (rest * 1000) / counterFrequency;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::string failureText(const FailureMessage& message, const char* reason) {
    std::string text = message.text;
    if (reason != nullptr && *reason != '\0') {
        text += '\n';
        text += reason;
    }
    return text;
}
