#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scene/scene_constants.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/data_generator.h"

namespace {

const CommandHelp makeDataHelp = {
    "make-data", "[OPTION]... DIR",
    "Writes the generated data set into DIR (created when missing): base2.lwo, crystal1.lwo, "
    "crystal2.lwo, crystal3.lwo and env.bmp. The output is the same, byte for byte, on every "
    "run; the shipped data/ is this output.",
    "glasswake-tool make-data data\n"
    "the shipped set, written again",
    "0 when every file was written, 1 when one could not be, 2 for a bad command line."};

}  // namespace

int runMakeData(int argc, char** argv) {
    std::vector<const char*> directories;
    const int parsed = parseCommandLine(makeDataHelp, argc, argv, nullptr, 0, &directories);
    if (parsed != 0)
        return parsed == -1 ? 0 : parsed;
    if (directories.size() != 1 || directories[0][0] == '\0')
        return usageError("make-data", "expected exactly one directory", nullptr);
    const char* folder = directories[0];
    std::string failed;
    if (!writeDataSet(folder, &failed)) {
        std::fprintf(stderr, "glasswake-tool make-data: %s\n", failed.c_str());
        return 1;
    }
    for (const char* file : kObjectFiles) {
        std::printf("%s%s\n", folder, std::strchr(file, '/'));
    }
    std::printf("%s%s\n", folder, std::strchr(kEnvironmentFile, '/'));
    return 0;
}
