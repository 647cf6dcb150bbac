#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/linux_paths.h"
#include "app/shell_rules.h"
#include "render/frame_state.h"
#include "render/render_backend.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/data_check.h"
#include "tools/render_session.h"
#include "tools/scene_option.h"

namespace {

const CommandHelp checkHelp = {
    "check", "[OPTION]... [DIR]",
    "Validates the data set the demo loads from DIR/data: base2.lwo, crystal1.lwo, "
    "crystal2.lwo, crystal3.lwo and env.bmp. Without DIR, the data the demo and render would "
    "use: ./data, else the installed data. Each mesh must load and be closed, with planar "
    "convex faces, outward normals and a convex solid; its largest outline (one edge per mesh "
    "edge and face) is reported. The picture must be readable. A file that is not is named "
    "with the reader's reason. A valid set is then drawn (by the renderer alone) at 240 "
    "moments of the orbit, at the demo's size and depth: a frame that needs more memory than "
    "a frame has would lack parts of the scene, and is reported. The frame memory the scene "
    "was given at start-up is reported, with what the orbit's frames need of it at each depth "
    "(views per frame, arena peak, frames trimmed to fit).",
    "glasswake-tool check\n"
    "the data set the demo would load\n"
    "glasswake-tool check unpacked\n"
    "the data set in unpacked/data",
    "0 when all is well, 1 when anything is wrong or no data set was found, 2 for a bad "
    "command line."};

constexpr std::int32_t kOrbitFrames = 240;

// The budget the scene was given at start-up, and what the orbit's frames
// need of it at each depth up to the demo's: a frame that still runs out
// lacks parts of the scene. Frames trimmed to fit are drawn whole.
bool printBudget() {
    const FrameBudget& budget = sceneBudget;
    std::printf(
        "frame budget: %d polygons, %d points, %d slots (%lld MiB), %s; sized in %.0f ms\n",
        budget.polygons, budget.points, budget.slots,
        static_cast<long long>(frameMemoryBytes(budget.polygons, budget.points, budget.slots) >>
                               20),
        budget.minOpenPixels > 0.0f ? "views under 1 pixel open no children" : "every view opened",
        budget.sweepMs);
    bool whole = true;
    for (int depth = 0; depth <= kDemoDepthBudget; ++depth) {
        const BudgetSweep sweep = sweepOrbit(kOrbitFrames, depth, true);
        std::printf(
            "depth %d: %lld views per frame (median), %lld most; arena peak %d polygons, "
            "%d points, %d slots; %lld of %d frames trimmed, %lld overflowed\n",
            depth, static_cast<long long>(sweep.medianViews),
            static_cast<long long>(sweep.maxViews), sweep.peakPolygons, sweep.peakPoints,
            sweep.peakSlots, static_cast<long long>(sweep.trimmedFrames), kOrbitFrames,
            static_cast<long long>(sweep.overflowFrames));
        if (depth == kDemoDepthBudget && sweep.overflowFrames > 0) {
            std::fprintf(stderr,
                         "the scene needs more frame memory than a frame has in %lld of %d "
                         "frames of the orbit at depth %d: they would lack parts of the scene\n",
                         static_cast<long long>(sweep.overflowFrames), kOrbitFrames, depth);
            whole = false;
        }
    }
    return whole;
}

// Starts the scene at root as the demo does, reports its budget and says
// valid when every orbit frame is drawn whole; the exit status.
int reportOrbit(const std::string& root, const char* valid) {
    std::string error;
    bool whole = false;
    if (!enterDataRoot(root, error)) {
        std::fprintf(stderr, "glasswake-tool check: %s\n", error.c_str());
    } else if (!PreInit()) {
        std::fprintf(stderr, "glasswake-tool check: %s\n", GetFailureReason());
    } else {
        whole = printBudget();
    }
    Shutdown();
    if (!whole) {
        return 1;
    }
    std::printf("%s\n", valid);
    return 0;
}

}  // namespace

int runCheck(int argc, char** argv) {
    using Kind = CommandOption::Kind;
    std::string scene;
    CommandOption table[] = {
        {"--scene", 0, Kind::Text, &scene, "FILE",
         "check, and draw the orbit of, the scene a scene file describes instead of a data set "
         "(no DIR then). A scene file is TOML: picture = \"FILE\", then tables [base], "
         "[crystal1], [crystal2] and [crystal3], each with mesh = \"FILE\" and optionally "
         "scale (> 0), offset = [x, y, z], base-color, reflect-color and refract-color = "
         "[r, g, b, a] and refractive-index; names are taken from the scene file's folder. "
         "Meshes are LWOB or Wavefront OBJ files; crystals must be convex and convex objects "
         "must not overlap; the picture is a BMP, PNG or JPEG of at most 64 megapixels",
         "a scene file"}};
    std::vector<const char*> directories;
    const int parsed = parseCommandLine(checkHelp, argc, argv, table, &directories);
    if (parsed != 0) {
        return parsed == -1 ? 0 : parsed;
    }
    if (given(table, "--scene")) {
        if (!directories.empty()) {
            return usageError("check", "a scene file names its own files", nullptr);
        }
        if (!useSceneFile("check", scene) || !reportScene("check")) {
            return 1;
        }
        return reportOrbit(".", "scene is valid");
    }
    if (directories.size() > 1 || (directories.size() == 1 && directories[0][0] == '\0')) {
        return usageError("check", "expected at most one directory", nullptr);
    }
    std::string root;
    std::string tried;
    if (!directories.empty()) {
        root = directories[0];
    } else if (!findDataRoot(dataRootCandidates(executableFolder()), root, tried)) {
        std::fprintf(stderr, "glasswake-tool check: no data set found; looked in: %s\n",
                     tried.c_str());
        return 1;
    }
    const DataSetReport report = checkDataSet(root);
    for (const std::string& line : report.summaries) {
        std::printf("%s\n", line.c_str());
    }
    for (const std::string& problem : report.problems) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    if (report.ok()) {
        return reportOrbit(root, "data set is valid");
    }
    std::fprintf(stderr, "data set has %d problem(s)\n", static_cast<int>(report.problems.size()));
    return 1;
}
