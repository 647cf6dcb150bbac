#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "scene/scene_constants.h"
#include "scene/scene_file.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/data_generator.h"
#include "tools/output_file.h"

namespace {

const CommandHelp makeDataHelp = {
    "make-data", "[OPTION]... DIR",
    "Writes the generated data set into DIR (created when missing): base2.lwo, crystal1.lwo, "
    "crystal2.lwo, crystal3.lwo and env.bmp. The output is the same, byte for byte, on every "
    "run; the shipped data/ is this output. With --scene-example, also DIR/scene.toml, a "
    "scene file naming those files with the shipped scene's values, to copy and change.",
    "glasswake-tool make-data data\n"
    "the shipped set, written again\n"
    "glasswake-tool make-data --scene-example mine\n"
    "the shipped set and a scene file for it, in mine/",
    "0 when every file was written, 1 when one could not be, 2 for a bad command line."};

// The shipped scene as a scene file naming the files beside it.
bool writeSceneExample(const std::string& directory, std::string& failure) {
    SceneDescription scene;
    scene.picture = std::strchr(kEnvironmentFile, '/') + 1;
    for (int i = 0; i < 4; ++i) {
        scene.objects[i].mesh = std::strchr(kObjectFiles[i], '/') + 1;
    }
    const std::string text = sceneFileText(scene);
    const std::string path = directory + "/scene.toml";
    PartialFile partial;
    if (!partial.create(path, "new", failure)) {
        failure = path + ": " + failure;
        return false;
    }
    if (write(partial.fd(), text.data(), text.size()) != ssize_t(text.size())) {
        failure = path + ": cannot be written";
        return false;
    }
    return partial.commit(failure);
}

}  // namespace

int runMakeData(int argc, char** argv) {
    using Kind = CommandOption::Kind;
    bool example = false;
    CommandOption table[] = {{"--scene-example", 0, Kind::Flag, &example, nullptr,
                              "also write DIR/scene.toml, a scene file naming the files written",
                              nullptr}};
    std::vector<const char*> directories;
    const int parsed = parseCommandLine(makeDataHelp, argc, argv, table, &directories);
    if (parsed != 0)
        return parsed == -1 ? 0 : parsed;
    if (directories.size() != 1 || directories[0][0] == '\0')
        return usageError("make-data", "expected exactly one directory", nullptr);
    const char* folder = directories[0];
    std::string failed;
    if (!writeDataSet(folder, &failed) || (example && !writeSceneExample(folder, failed))) {
        std::fprintf(stderr, "glasswake-tool make-data: %s\n", failed.c_str());
        return 1;
    }
    for (const char* file : kObjectFiles) {
        std::printf("%s%s\n", folder, std::strchr(file, '/'));
    }
    std::printf("%s%s\n", folder, std::strchr(kEnvironmentFile, '/'));
    if (example) {
        std::printf("%s/scene.toml\n", folder);
    }
    return 0;
}
