#pragma once

#include <optional>
#include <string>

#include "scene/scene.h"

// The demo's command line. Options in either form, `--name=value` or
// `--name value`:
//   --camera Y,P,D   starts paused, looking from that camera
//   --depth D        faces seen through in a row, 0 to kMaxViewerDepth
//   --backend NAME   exact, fast or auto
//   --size WxH       the window's size, sides 1 to kMaxWindowExtent
//   --scene FILE     the scene a scene file describes, instead of data/
//   -h, --help       -V, --version
// They apply to one run and are never saved. Every other argument, and
// every argument after "--", is the argument text the full-screen switch is
// searched in ("-fullscreen", "-fullscreen=0"; an argument such as
// "--fullscreen" that contains the switch is such text too). An option's
// value never is: `--backend -fullscreen` is a bad backend, not a switch,
// and `--scene my-fullscreen.toml` names a file.
struct DemoOptions {
    bool help = false;
    bool version = false;
    std::string argumentText;
    std::optional<Camera> camera;
    int depth = -1;  // -1: the demo's
    std::string backend;
    int width = 0;  // 0: the settings'
    int height = 0;
    std::string scene;  // empty: the data folder's
};

// False for a usage error, with `problem` one line naming it.
bool parseDemoOptions(int argc, const char* const* argv, DemoOptions& options,
                      std::string& problem);

// The text --help prints, its limits and defaults taken from the constants.
std::string demoHelp();

// The keys and the mouse in the window, one "input\teffect" line each: the
// "?" help shows them, --help lists them and docs/demo.md's table is made
// from that list (scripts/tool_docs.sh).
std::string demoKeys();
