#include <cstdio>
#include <cstring>
#include <new>

#include "tools/command_line.h"
#include "tools/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

// One line per subcommand.
const Command commands[] = {
    {"render", runRender, "draw frames headless into PNG pictures or a video"},
    {"bench", runBench, "time frames; count views, polygons and allocations"},
    {"check", runCheck, "validate the data set the demo loads"},
    {"info", runInfo, "describe object and picture files (text or JSON lines)"},
    {"make-data", runMakeData, "write the generated data set into a directory"},
};

void printHelp() {
    std::printf(
        "Usage: glasswake-tool COMMAND [OPTION]... [ARG]...\n"
        "Draws the Glasswake demo's frames on an offscreen OpenGL context, so it needs\n"
        "neither a display nor a GPU: pictures, clips and timings; and checks, describes\n"
        "and makes its data files. Each command has its own --help.\n\nCommands:\n");
    for (const Command& command : commands)
        std::printf("  %-23s %s\n", command.name, command.summary);
    std::printf(
        "\nOptions:\n"
        "  -h, --help              show this help and exit\n"
        "  -V, --version           show the version and exit\n"
        "\nExit status:\n"
        "  0 on success, 1 when a file or the drawing fails, 2 for a bad command line.\n"
        "\nExamples:\n"
        "  $ glasswake-tool render --time-ms=2500 -o frame.png\n"
        "      the frame at 2.5 s, %s\n"
        "  $ glasswake-tool render --help\n"
        "      every option of render\n",
        frameSizeText(kDefaultWidth, kDefaultHeight).c_str());
}

int usageError(const char* problem, const char* argument) {
    std::fprintf(stderr, "glasswake-tool: %s%s%s\n", problem, argument ? ": " : "",
                 argument ? argument : "");
    std::fputs("Try 'glasswake-tool --help' for more information.\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usageError("missing command", nullptr);
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "help") == 0) {
        printHelp();
        return 0;
    }
    if (std::strcmp(name, "--version") == 0 || std::strcmp(name, "-V") == 0) {
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
    return usageError(name[0] == '-' ? "unknown option" : "unknown command", name);
}
