#include "app/sdl/demo_options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "app/sdl/shell.h"
#include "app/shell_rules.h"
#include "app/viewer.h"

std::string demoKeys() {
    const std::string depths = "0 - " + std::to_string(kMaxViewerDepth);
    return "Drag\tturn the camera (stops the orbit); let go moving, it glides\n"
           "Double-click\tback to the orbit, running\n"
           "Wheel\tcamera nearer or farther\n"
           "A / D\tturn the scene left / right\n"
           "W / S\tlook from higher / lower\n"
           "+ / -\tnearer / farther\n"
           "O\tback to the orbit, running\n"
           "Space\tpause / play (back to the orbit)\n"
           "Left / Right\tone frame back / on (pauses)\n"
           "Down / Up\tone second back / on\n" +
           depths +
           "\tfaces seen through in a row\n"
           "V\toutline every view's window, coloured by depth\n"
           "M\tsmooth edges on / off (where the display gave samples)\n"
           "I\tnumbers: frame rate, views, camera\n"
           "P\tsave this picture as a PNG (in the pictures folder)\n"
           "F\tfull screen\n"
           "?\tthese keys over the picture\n"
           "Escape\tquit";
}

namespace {

// The keys as --help lists them: the effects in a column after the widest input.
std::string keyColumns() {
    std::vector<std::string> inputs;
    std::vector<std::string> effects;
    std::size_t widest = 0;
    std::istringstream lines(demoKeys());
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        inputs.push_back(line.substr(0, tab));
        effects.push_back(line.substr(tab + 1));
        widest = std::max(widest, tab);
    }
    std::string columns;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        inputs[i].resize(widest + 2, ' ');
        columns += "  " + inputs[i] + effects[i] + "\n";
    }
    return columns;
}

}  // namespace

std::string demoHelp() {
    const std::string depths = std::to_string(kMaxViewerDepth);
    return std::string(
               "Usage: glasswake [OPTION]... [-fullscreen | -fullscreen=0]\n"
               "Three crystals on a base, every face a mirror and a window, two faces "
               "deep.\n"
               "\n"
               "Options:\n"
               "  -fullscreen          take over the screen (saved in the settings)\n"
               "  -fullscreen=0        windowed (saved; wins over -fullscreen)\n"
               "      --camera=Y,P,D   start paused, looking from yaw Y and pitch P "
               "degrees\n"
               "                       ") +
           cameraLimitsText("(", ") at distance D (") +
           ")\n"
           "      --depth=D        faces seen through in a row, 0 to " +
           depths + " (default " + std::to_string(kDemoDepthBudget) +
           ")\n"
           "      --backend=NAME   exact (OpenGL 1.1), fast (shaders) or auto (default)\n"
           "      --size=WxH       the window's size in pixels (default: the settings')\n"
           "      --scene=FILE     draw the scene a scene file describes (default: " +
           kDataFolder +
           "/)\n"
           "  -h, --help           show this help and exit\n"
           "  -V, --version        show the version and exit\n"
           "These options apply to this run only; none is saved.\n"
           "\n"
           "Keys and mouse in the window:\n" +
           keyColumns() +
           "P saves into $XDG_PICTURES_DIR, else the folder ~/.config/user-dirs.dirs\n"
           "names, else ~/Pictures.\n"
           "\n"
           "Settings: $XDG_CONFIG_HOME/glasswake/" +
           kSettingsFileName +
           " (else under ~/.config).\n"
           "Without a display, glasswake-tool render draws the same pictures and clips.\n";
}

namespace {

bool parseSide(const char* text, const char** end, int& side) {
    if (*text < '0' || *text > '9') {
        return false;
    }
    char* stop = nullptr;
    const long value = std::strtol(text, &stop, 10);
    *end = stop;
    side = static_cast<int>(value);
    return value >= 1 && value <= kMaxWindowExtent;
}

// One option's value; false with `problem` when it is not one.
bool readValue(const std::string& name, const char* value, DemoOptions& options,
               std::string& problem) {
    const char* end = nullptr;
    Camera camera;
    if (name == "camera" && parseCamera(value, camera)) {
        options.camera = camera;
    } else if (name == "depth" && value[0] >= '0' && value[0] <= '0' + kMaxViewerDepth &&
               value[1] == '\0') {
        options.depth = value[0] - '0';
    } else if (name == "backend" &&
               (std::strcmp(value, "exact") == 0 || std::strcmp(value, "fast") == 0 ||
                std::strcmp(value, "auto") == 0)) {
        options.backend = value;
    } else if (name == "scene" && value[0] != '\0') {
        options.scene = value;
    } else if (name == "size" && parseSide(value, &end, options.width) && *end == 'x' &&
               parseSide(end + 1, &end, options.height) && *end == '\0') {
    } else {
        const std::string wanted =
            name == "camera"
                ? "YAW,PITCH,DISTANCE with " + cameraLimitsText("pitch ", " and distance ")
            : name == "depth"   ? "0 to " + std::to_string(kMaxViewerDepth)
            : name == "backend" ? "exact, fast or auto"
            : name == "scene"   ? "a scene file"
                                : "WIDTHxHEIGHT, sides 1 to " + std::to_string(kMaxWindowExtent);
        problem = "--" + name + " takes " + wanted + ", not '" + value + "'";
        return false;
    }
    return true;
}

void addText(DemoOptions& options, const char* argument) {
    if (!options.argumentText.empty()) {
        options.argumentText += ' ';
    }
    options.argumentText += argument;
}

}  // namespace

bool parseDemoOptions(int argc, const char* const* argv, DemoOptions& options,
                      std::string& problem) {
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const bool dashes = !optionsEnd && std::strncmp(argument, "--", 2) == 0;
        const char* equals = dashes ? std::strchr(argument, '=') : nullptr;
        const std::string name = !dashes  ? std::string()
                                 : equals ? std::string(argument + 2, equals)
                                          : std::string(argument + 2);
        const bool valued = name == "camera" || name == "depth" || name == "backend" ||
                            name == "size" || name == "scene";
        if (!optionsEnd && (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "-V") == 0)) {
            (argument[1] == 'h' ? options.help : options.version) = true;
        } else if (!dashes || (!valued && std::strstr(argument, "-fullscreen") != nullptr)) {
            addText(options, argument);
        } else if (name.empty() && !equals) {
            optionsEnd = true;
        } else if ((name == "help" || name == "version") && !equals) {
            (name == "help" ? options.help : options.version) = true;
        } else if (valued) {
            if (!equals && i + 1 >= argc) {
                problem = "--" + name + " needs a value";
                return false;
            }
            if (!readValue(name, equals ? equals + 1 : argv[++i], options, problem)) {
                return false;
            }
        } else {
            problem = std::string("unrecognized option '") + argument + "'";
            return false;
        }
    }
    return true;
}
