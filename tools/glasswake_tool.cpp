#include <cstdio>
#include <cstring>
#include <new>

#include "tools/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

// One line per subcommand.
const Command commands[] = {
    {"info", runInfo, "describe object and picture files (text or JSON lines)"},
    {"check", runCheck, "validate the shipped data set under a directory"},
    {"make-data", runMakeData, "write the generated data set into a directory"},
    {"render", runRender, "draw frames headless into PNG pictures"},
    {"bench", runBench, "time frames headless and count views, polygons and allocations"},
};

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: glasswake-tool COMMAND [ARGS...]\n"
                 "       glasswake-tool COMMAND --help\n"
                 "       glasswake-tool --version\n\ncommands:\n");
    for (const Command& command : commands) {
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "help") == 0) {
        printUsage(stdout);
        return 0;
    }
    if (std::strcmp(name, "--version") == 0) {
        std::printf("glasswake-tool %s\n", GLASSWAKE_VERSION);
        return 0;
    }
    for (const Command& command : commands) {
        if (std::strcmp(name, command.name) == 0) {
            // A last resort: the commands report the allocations they can
            // foresee themselves; the files and processes they hold are
            // cleaned up on the way here.
            try {
                return command.run(argc - 1, argv + 1);
            } catch (const std::bad_alloc&) {
                std::fprintf(stderr, "glasswake-tool %s: out of memory\n", name);
                return 1;
            }
        }
    }
    std::fprintf(stderr, "glasswake-tool: unknown command \"%s\"\n", name);
    printUsage(stderr);
    return 2;
}
