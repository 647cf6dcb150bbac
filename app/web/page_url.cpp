#include "app/web/page_url.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

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

void readArgument(const char* argument, PageOptions& options) {
    const char* equals = std::strchr(argument, '=');
    if (!equals) {
        return;
    }
    const std::string_view name(argument, static_cast<std::size_t>(equals - argument));
    const char* text = equals + 1;
    const char* end = nullptr;
    long long value = 0;
    long long second = 0;
    Camera camera;
    if (name == "t") {
        if (parseNumber(text, 0, 0xFFFFFFFFLL, value, &end) && *end == '\0') {
            options.clockMs = static_cast<std::uint32_t>(value);
        }
    } else if (name == "depth") {
        if (parseNumber(text, 0, kMaxViewerDepth, value, &end) && *end == '\0') {
            options.depth = static_cast<int>(value);
        }
    } else if (name == "size") {
        if (parseNumber(text, 1, kMaxCanvasSide, value, &end) && *end == 'x' &&
            parseNumber(end + 1, 1, kMaxCanvasSide, second, &end) && *end == '\0') {
            options.width = static_cast<int>(value);
            options.height = static_cast<int>(second);
        }
    } else if (name == "cam" && parseCamera(text, camera)) {
        options.camera = camera;
    } else if (name == "views" && std::strcmp(text, "1") == 0) {
        options.overlay = true;
    } else if (name == "aa" && (std::strcmp(text, "0") == 0 || std::strcmp(text, "1") == 0)) {
        options.smooth = text[0] == '1';
    } else if (name == "controls" && (std::strcmp(text, "0") == 0 || std::strcmp(text, "1") == 0)) {
        options.controls = text[0] == '1';
    }
}

}  // namespace

PageOptions parsePageArguments(int argc, char** argv) {
    PageOptions options;
    for (int i = 1; i < argc; ++i) {
        readArgument(argv[i], options);
    }
    return options;
}

Camera shareableCamera(const Camera& camera) {
    char text[96];
    formatCamera(camera, text, sizeof text);
    Camera rounded = camera;
    parseCamera(text, rounded);  // within the limits already, so it parses
    return rounded;
}

bool formatPageQuery(const PageOptions& options, char* out, std::size_t size) {
    int used = 0;
    if (options.camera) {
        char camera[96];
        formatCamera(*options.camera, camera, sizeof camera);
        used = std::snprintf(out, size, "?cam=%s", camera);
    } else {
        used =
            std::snprintf(out, size, "?t=%u", static_cast<unsigned>(options.clockMs.value_or(0)));
    }
    const auto append = [&](const char* format, int a, int b) {
        if (used >= 0 && static_cast<std::size_t>(used) < size) {
            const int more =
                std::snprintf(out + used, size - static_cast<std::size_t>(used), format, a, b);
            used = more < 0 ? -1 : used + more;
        }
    };
    append("&depth=%d", options.depth < 0 ? kDemoDepthBudget : options.depth, 0);
    if (options.overlay)
        append("&views=1", 0, 0);
    if (!options.smooth)
        append("&aa=0", 0, 0);
    if (options.width > 0)
        append("&size=%dx%d", options.width, options.height);
    if (!options.controls)
        append("&controls=0", 0, 0);
    return used >= 0 && static_cast<std::size_t>(used) < size;
}
