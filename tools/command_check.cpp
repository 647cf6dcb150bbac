#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/data_check.h"

namespace {

const char* const checkUsage =
    "usage: glasswake-tool check [DIR]\n"
    "Validates the data set the demo loads from DIR/data (DIR defaults to \".\"):\n"
    "base2.lwo, crystal1.lwo, crystal2.lwo, crystal3.lwo and env.bmp.\n"
    "Each mesh must load and be closed, with planar convex faces, outward normals\n"
    "and a convex solid; its largest outline (one edge per mesh edge and face) is\n"
    "reported. The picture must be readable. A file that is not is named with the\n"
    "reader's reason.\n"
    "Exit status: 0 when all is well, 1 when anything is wrong, 2 on a usage error.\n";

}  // namespace

int runCheck(int argc, char** argv) {
    std::vector<const char*> directories;
    const int parsed = parseCommandLine("check", checkUsage, argc, argv, nullptr, 0, &directories);
    if (parsed != 0) {
        return parsed == -1 ? 0 : parsed;
    }
    if (directories.size() > 1 || (directories.size() == 1 && directories[0][0] == '\0')) {
        return usageError("check", checkUsage, "expected at most one directory", nullptr);
    }
    const std::string root = directories.empty() ? "." : directories[0];
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
