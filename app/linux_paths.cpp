#include "app/linux_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "app/shell_rules.h"
#include "scene/scene_constants.h"

namespace {

// From the installed program's folder to the installed data's, as laid out
// by the build.
constexpr const char* kInstalledRoot = GLASSWAKE_DATA_FROM_BIN;
constexpr const char* kConfigFolder = "glasswake";

bool isRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The working directory as the user knows it; "." when it cannot be named.
std::string workingFolder() {
    char here[4096];
    return getcwd(here, sizeof here) != nullptr ? here : ".";
}

bool isAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

}  // namespace

std::string joinPath(const std::string& folder, const std::string& name) {
    std::size_t end = folder.size();
    while (end > 0 && folder[end - 1] == '/') {
        --end;
    }
    return folder.substr(0, end) + "/" + name;
}

std::string executableFolder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return "";
    }
    const std::string exe(path, static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "" : exe.substr(0, slash == 0 ? 1 : slash);
}

std::vector<std::string> dataRootCandidates(const std::string& exeFolder) {
    std::vector<std::string> candidates{"."};
    if (!exeFolder.empty()) {
        candidates.push_back(exeFolder + "/" + kInstalledRoot);
    }
    return candidates;
}

bool holdsDataSet(const std::string& root) {
    for (const char* file : kObjectFiles) {
        if (!isRegularFile(joinPath(root, file))) {
            return false;
        }
    }
    return isRegularFile(joinPath(root, kEnvironmentFile));
}

bool findDataRoot(const std::vector<std::string>& candidates, std::string& root,
                  std::string& tried) {
    tried.clear();
    for (const std::string& candidate : candidates) {
        if (holdsDataSet(candidate)) {
            root = candidate;
            return true;
        }
        const std::string folder = candidate == "." ? workingFolder() : candidate;
        tried += (tried.empty() ? "" : ", ") + joinPath(folder, kDataFolder);
    }
    return false;
}

void enterFoundDataRoot(const char* program) {
    std::string root;
    std::string tried;
    if (!findDataRoot(dataRootCandidates(executableFolder()), root, tried)) {
        std::fprintf(stderr, "%s: the data files (%s ...) were not found; looked in: %s\n", program,
                     kObjectFiles[0], tried.c_str());
    } else if (root != "." && chdir(root.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot enter %s: %s\n", program, root.c_str(),
                     std::strerror(errno));
    }
}

std::string userDatabaseHome() {
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return "";
    }
    return found->pw_dir;
}

namespace {

// HOME, or the user database's home when HOME is no absolute folder.
std::string homeFolder(const char* home, const std::string& databaseHome, std::string& note) {
    if (isAbsolute(home)) {
        return home;
    }
    const std::string why = home == nullptr || *home == '\0'
                                ? std::string("HOME is not set")
                                : "HOME is not an absolute folder (\"" + std::string(home) + "\")";
    if (isAbsolute(databaseHome.c_str())) {
        note = why + "; the home the user database names, " + databaseHome + ", is used";
        return databaseHome;
    }
    note = why + " and the user database names no home either";
    return "";
}

}  // namespace

std::string settingsFilePath(const char* xdgConfigHome, const char* home,
                             const std::string& databaseHome, std::string& note) {
    note.clear();
    std::string base;
    if (isAbsolute(xdgConfigHome)) {
        base = xdgConfigHome;
    } else {
        base = homeFolder(home, databaseHome, note);
        if (base.empty()) {
            note += ": the settings are neither read nor saved";
            return "";
        }
        base += "/.config";
    }
    return base + "/" + kConfigFolder + "/" + kSettingsFileName;
}

namespace {

// The folder one line of user-dirs.dirs gives `key`, or empty when the line
// is about something else or not in the form the desktop writes.
std::string userDirsLine(const std::string& line, const std::string& key, const std::string& home) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, key.size(), key) != 0) {
        return "";
    }
    at = line.find_first_not_of(" \t", at + key.size());
    if (at == std::string::npos || line[at] != '=') {
        return "";
    }
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line[at] != '"') {
        return "";
    }
    ++at;
    std::string folder;
    if (line.compare(at, 5, "$HOME") == 0 && at + 5 < line.size() &&
        (line[at + 5] == '/' || line[at + 5] == '"')) {
        if (home.empty()) {
            return "";
        }
        folder = home;
        at += 5;
    } else if (at >= line.size() || line[at] != '/') {
        return "";
    }
    for (; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size()) {
            ++at;
        }
        folder += line[at];
    }
    // Without its closing quote the line was cut short: no folder.
    return at < line.size() ? folder : "";
}

// The user-dirs.dirs file's text; empty when there is none. Such a file is a
// few hundred bytes: anything past 64 KiB is not read.
std::string readUserDirs(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text(64 * 1024, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

}  // namespace

std::string userDirsFolder(const std::string& text, const std::string& key,
                           const std::string& home) {
    std::string found;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string folder = userDirsLine(text.substr(start, end - start), key, home);
        if (!folder.empty()) {
            found = folder;
        }
        start = end + 1;
    }
    return found;
}

std::string picturesFolder(const char* xdgPicturesDir, const char* xdgConfigHome, const char* home,
                           const std::string& databaseHome, std::string& note) {
    note.clear();
    if (isAbsolute(xdgPicturesDir)) {
        return xdgPicturesDir;
    }
    const std::string base = homeFolder(home, databaseHome, note);
    const std::string config = isAbsolute(xdgConfigHome) ? xdgConfigHome
                               : base.empty()            ? ""
                                                         : base + "/.config";
    if (!config.empty()) {
        const std::string named = userDirsFolder(readUserDirs(joinPath(config, "user-dirs.dirs")),
                                                 "XDG_PICTURES_DIR", base);
        if (!named.empty()) {
            return named;
        }
    }
    return base.empty() ? "" : base + "/Pictures";
}

bool makeParentFolders(const std::string& path, std::string& problem) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            problem = "cannot make the folder " + folder + " (" + std::strerror(errno) + ")";
            return false;
        }
    }
    return true;
}
