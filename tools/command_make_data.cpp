#include <cstdio>
#include <cstring>
#include <string>

#include "scene/scene_constants.h"
#include "tools/commands.h"
#include "tools/data_generator.h"

namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: glasswake-tool make-data DIR\n"
                 "Writes the generated data set into DIR (created when missing):\n"
                 "base2.lwo, crystal1.lwo, crystal2.lwo, crystal3.lwo and env.bmp.\n"
                 "The output is the same, byte for byte, on every run.\n");
}

}  // namespace

int runMakeData(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
        std::fprintf(stderr, "glasswake-tool make-data: expected exactly one directory\n");
        printUsage(stderr);
        return 2;
    }
    std::string failed;
    if (!writeDataSet(argv[1], &failed)) {
        std::fprintf(stderr, "glasswake-tool make-data: %s\n", failed.c_str());
        return 1;
    }
    for (const char* file : kObjectFiles) {
        std::printf("%s%s\n", argv[1], std::strchr(file, '/'));
    }
    std::printf("%s%s\n", argv[1], std::strchr(kEnvironmentFile, '/'));
    return 0;
}
