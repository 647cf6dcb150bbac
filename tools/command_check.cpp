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
    "a frame has would lack parts of the scene, and is reported.",
    "glasswake-tool check\n"
    "the data set the demo would load\n"
    "glasswake-tool check unpacked\n"
    "the data set in unpacked/data",
    "0 when all is well, 1 when anything is wrong or no data set was found, 2 for a bad "
    "command line."};

// Draws the orbit of the scene at root and says valid, or how many frames
// overflow; the exit status.
int reportOrbit(const std::string& root, const char* valid);

constexpr std::uint64_t kOrbitFrames = 240;

// How many of the orbit's frames overflow the frame memory, the scene
// loaded from root as the demo loads it; -1 when it does not load.
std::int64_t orbitOverflowFrames(const std::string& root) {
    std::string error;
    NoneBackend none;
    std::int64_t overflowed = -1;
    if (enterDataRoot(root, error) && PreInit()) {
        resetRenderStats();
        for (std::uint64_t k = 0; k < kOrbitFrames; ++k) {
            FrameInputs inputs;
            inputs.timeMs = orbitTime(k, kOrbitFrames);
            inputs.width = kDefaultWidth;
            inputs.height = kDefaultHeight;
            inputs.backend = &none;
            drawFrame(inputs);
        }
        overflowed = frameState.stats.overflowFrames;
    }
    Shutdown();
    return overflowed;
}

int reportOrbit(const std::string& root, const char* valid) {
    const std::int64_t overflowed = orbitOverflowFrames(root);
    if (overflowed == 0) {
        std::printf("%s\n", valid);
        return 0;
    }
    std::fprintf(stderr,
                 "the scene needs more frame memory than a frame has in %lld of %llu frames "
                 "of the orbit at depth %d: they would lack parts of the scene\n",
                 static_cast<long long>(overflowed), static_cast<unsigned long long>(kOrbitFrames),
                 kDemoDepthBudget);
    return 1;
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
