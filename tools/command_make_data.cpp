#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scene/scene_constants.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/data_generator.h"
#include "tools/example_scenes.h"

namespace {

const CommandHelp makeDataHelp = {
    "make-data", "[OPTION]... DIR",
    "Writes the generated data set into DIR (created when missing): base2.lwo, crystal1.lwo, "
    "crystal2.lwo, crystal3.lwo and env.bmp. The output is the same, byte for byte, on every "
    "run; the shipped data/ is this output. With --scene-example, also scene files to copy "
    "and change: DIR/scene.toml naming those files with the shipped scene's values, and "
    "scenes made from code: gem.toml (crystal 2 a faceted gem of 201 facets, gem.obj), "
    "brilliant.toml (the same gem cut with 501 facets, brilliant.obj, drawn within a frame "
    "budget sized for it) and prism.toml (crystal 2 a tall twelve-sided prism, prism.obj).",
    "glasswake-tool make-data data\n"
    "the shipped set, written again\n"
    "glasswake-tool make-data --scene-example mine\n"
    "the shipped set and a scene file for it, in mine/",
    "0 when every file was written, 1 when one could not be, 2 for a bad command line."};

}  // namespace

int runMakeData(int argc, char** argv) {
    using Kind = CommandOption::Kind;
    bool example = false;
    CommandOption table[] = {{"--scene-example", 0, Kind::Flag, &example, nullptr,
                              "also write the example scene files (see above)", nullptr}};
    std::vector<const char*> directories;
    const int parsed = parseCommandLine(makeDataHelp, argc, argv, table, &directories);
    if (parsed != 0)
        return parsed == -1 ? 0 : parsed;
    if (directories.size() != 1 || directories[0][0] == '\0')
        return usageError("make-data", "expected exactly one directory", nullptr);
    const char* folder = directories[0];
    std::string failed;
    if (!writeDataSet(folder, &failed) || (example && !writeExampleScenes(folder, failed))) {
        std::fprintf(stderr, "glasswake-tool make-data: %s\n", failed.c_str());
        return 1;
    }
    for (const char* file : kObjectFiles) {
        std::printf("%s%s\n", folder, std::strchr(file, '/'));
    }
    std::printf("%s%s\n", folder, std::strchr(kEnvironmentFile, '/'));
    for (const char* name : {"scene.toml", "gem.obj", "gem.toml", "brilliant.obj", "brilliant.toml",
                             "prism.obj", "prism.toml"}) {
        if (example) {
            std::printf("%s/%s\n", folder, name);
        }
    }
    return 0;
}
