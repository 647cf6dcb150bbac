#include <cstdio>
#include <cstring>
#include <string>

#include "tools/commands.h"
#include "tools/data_check.h"

namespace {

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: glasswake-tool check [DIR]\n"
        "Validates the data set the demo loads from DIR/data (DIR defaults to \".\"):\n"
        "base2.lwo, crystal1.lwo, crystal2.lwo, crystal3.lwo and env.bmp.\n"
        "Each mesh must load and be closed, with planar convex faces, outward normals\n"
        "and a convex solid; its largest outline (one edge per mesh edge and face) is\n"
        "reported. The picture must be readable. A file that is not is named with the\n"
        "reader's reason.\n"
        "Exit status: 0 when all is well, 1 when anything is wrong, 2 on a usage error.\n",
        out);
}

}  // namespace

int runCheck(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc >= 2 && argv[1][0] == '-') {
        std::fprintf(stderr, "glasswake-tool check: unknown option: %s\n", argv[1]);
        printUsage(stderr);
        return 2;
    }
    if (argc > 2 || (argc == 2 && argv[1][0] == '\0')) {
        std::fprintf(stderr, "glasswake-tool check: expected at most one directory\n");
        printUsage(stderr);
        return 2;
    }
    const std::string root = argc == 2 ? argv[1] : ".";
    const DataSetReport report = checkDataSet(root);
    for (const std::string& line : report.summaries) {
        std::printf("%s\n", line.c_str());
    }
    for (const std::string& problem : report.problems) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    if (report.ok()) {
        std::printf("data set is valid\n");
        return 0;
    }
    std::fprintf(stderr, "data set has %d problem(s)\n", static_cast<int>(report.problems.size()));
    return 1;
}
