#include <cstdio>
#include <cstring>
#include <string>

#include "tools/commands.h"
#include "tools/data_check.h"

namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: glasswake-tool check [DIR]\n"
                 "Validates the data set the demo loads from DIR/data (DIR defaults to \".\"):\n"
                 "base2.lwo, crystal1.lwo, crystal2.lwo, crystal3.lwo and env.bmp.\n"
                 "Each mesh must load and be closed, with planar convex faces, a convex solid\n"
                 "and outward normals; its outline, counted from many viewpoints around the\n"
                 "scene and through the faces (every silhouette edge plus every back face, an\n"
                 "upper bound), must stay within %d edges. The picture must be readable.\n"
                 "Exit status: 0 when all is well, 1 when anything is wrong, 2 on a usage error.\n",
                 outlineCapacity);
}

}  // namespace

int runCheck(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc > 2 || (argc == 2 && (argv[1][0] == '\0' || argv[1][0] == '-'))) {
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
