#include "app/web/user_scene.h"

#include <dirent.h>
#include <emscripten.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/scene_object.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "scene/scene_constants.h"
#include "scene/scene_file.h"

namespace {

constexpr const char* kUserFolder = "/user";
// Meshes without a scene file take the crystals' places only.
constexpr int kMaxLooseMeshes = 3;

// The scene drawn and the one being tried take turns in these two; shown is
// the index of the one drawn, -1 for the shipped scene.
SceneDescription descriptions[2];
int shown = -1;

char failure[320] = "";

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
bool refuse(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(failure, sizeof failure, format, arguments);
    va_end(arguments);
    return false;
}

// The visitor knows the files by their own names, not by the folders the
// page put them in: "/user/3/gem.obj" is said "gem.obj".
void sayPlainNames(char* text) {
    const std::size_t prefix = std::strlen(kUserFolder) + 1;
    char* at = text;
    while ((at = std::strstr(at, kUserFolder)) != nullptr) {
        char* end = at + prefix;
        while (std::isdigit(static_cast<unsigned char>(*end))) {
            ++end;
        }
        if (at[prefix - 1] == '/' && end > at + prefix && *end == '/') {
            std::memmove(at, end + 1, std::strlen(end + 1) + 1);
        } else {
            ++at;
        }
    }
}

bool endsWith(const std::string& name, const char* ending) {
    const std::size_t length = std::strlen(ending);
    if (name.size() < length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[name.size() - length + i])) != ending[i]) {
            return false;
        }
    }
    return true;
}

// What the set holds, each kind in name order.
struct GivenFiles {
    std::vector<std::string> scenes;
    std::vector<std::string> pictures;
    std::vector<std::string> meshes;
};

enum class FileKind { Scene, Picture, Mesh, Unknown };

// Pictures and LWOB meshes by their first bytes, as the readers tell them;
// OBJ and scene files (plain text) by their names.
FileKind kindOf(const std::string& folder, const std::string& name) {
    unsigned char head[8] = {};
    if (FILE* file = std::fopen((folder + "/" + name).c_str(), "rb")) {
        const std::size_t got = std::fread(head, 1, sizeof head, file);
        std::fclose(file);
        static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if ((got >= 2 && head[0] == 'B' && head[1] == 'M') ||
            (got >= 8 && std::memcmp(head, png, 8) == 0) ||
            (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)) {
            return FileKind::Picture;
        }
        if (got >= 4 && std::memcmp(head, "FORM", 4) == 0) {
            return FileKind::Mesh;
        }
    }
    if (endsWith(name, ".toml")) {
        return FileKind::Scene;
    }
    return endsWith(name, ".obj") ? FileKind::Mesh : FileKind::Unknown;
}

bool listFiles(const std::string& folder, GivenFiles& given) {
    DIR* directory = opendir(folder.c_str());
    if (!directory) {
        return refuse("the files did not reach the page's file system");
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') {
            names.push_back(entry->d_name);
        }
    }
    closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        switch (kindOf(folder, name)) {
            case FileKind::Scene:
                given.scenes.push_back(name);
                break;
            case FileKind::Picture:
                given.pictures.push_back(name);
                break;
            case FileKind::Mesh:
                given.meshes.push_back(name);
                break;
            default:
                return refuse(
                    "%s is not a picture (BMP, PNG, JPEG), a mesh (LWOB, OBJ) or a "
                    "scene file (.toml)",
                    name.c_str());
        }
    }
    return names.empty() ? refuse("no files were given") : true;
}

// The shipped scene as a description, for the visitor's files to change.
void describeShipped(SceneDescription& scene) {
    scene = SceneDescription();
    scene.picture = kEnvironmentFile;
    for (int i = 0; i < 4; ++i) {
        scene.objects[i].mesh = kObjectFiles[i];
    }
}

// The mesh at path, scaled to fit the box of shipped crystal `slot` (as
// large as fits, the same way up) and standing on that box's floor, centred
// over it.
bool fitIntoSlot(const std::string& path, int slot, ObjectDescription& object) {
    SceneObject mesh;
    if (!mesh.loadMesh(path.c_str())) {
        return refuse("%s: %s", path.c_str(), mesh.failure.text);
    }
    SceneObject shipped;
    if (!shipped.loadLwo(kObjectFiles[slot])) {
        return refuse("%s: %s", kObjectFiles[slot], shipped.failure.text);
    }
    const ObjectBox from = boxOf(mesh);
    const ObjectBox to = boxOf(shipped);
    const float fromSize[3] = {from.high.x - from.low.x, from.high.y - from.low.y,
                               from.high.z - from.low.z};
    const float toSize[3] = {to.high.x - to.low.x, to.high.y - to.low.y, to.high.z - to.low.z};
    float scale = INFINITY;
    for (int axis = 0; axis < 3; ++axis) {
        if (fromSize[axis] > 0.0f) {
            scale = std::min(scale, toSize[axis] / fromSize[axis]);
        }
    }
    if (!(scale > 0.0f) || !std::isfinite(scale)) {
        return refuse("%s: the mesh has no size to fit in a crystal's place", path.c_str());
    }
    object = ObjectDescription();
    object.mesh = path;
    object.scale = scale;
    object.offset =
        Vector3(0.5f * (to.low.x + to.high.x) - scale * 0.5f * (from.low.x + from.high.x),
                to.low.y - scale * from.low.y,
                0.5f * (to.low.z + to.high.z) - scale * 0.5f * (from.low.z + from.high.z));
    return true;
}

bool readable(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The scene file's scene; every file it names must have come with it.
bool describeFromSceneFile(const std::string& folder, const GivenFiles& given,
                           SceneDescription& scene) {
    if (given.scenes.size() > 1) {
        return refuse("give one scene file at a time (%s and %s came together)",
                      given.scenes[0].c_str(), given.scenes[1].c_str());
    }
    const std::string& name = given.scenes[0];
    ReadFailure why;
    if (!readSceneFile((folder + "/" + name).c_str(), scene, why)) {
        return refuse("%s: %s", name.c_str(), why.text);
    }
    const std::string* named[5] = {&scene.picture};
    for (int i = 0; i < 4; ++i) {
        named[i + 1] = &scene.objects[i].mesh;
    }
    std::vector<std::string> absent;
    std::string missing;
    for (const std::string* path : named) {
        const bool inFolder = path->compare(0, folder.size() + 1, folder + "/") == 0;
        const std::string asNamed = inFolder ? path->substr(folder.size() + 1) : *path;
        if (!readable(*path) && std::find(absent.begin(), absent.end(), asNamed) == absent.end()) {
            absent.push_back(asNamed);
            missing += (missing.empty() ? "" : ", ") + asNamed;
        }
    }
    if (!missing.empty()) {
        return refuse(
            "%s names files that did not come with it (%s): give the scene file "
            "together with every file it names",
            name.c_str(), missing.c_str());
    }
    return true;
}

// The scene shown with the set's picture as its sky and its meshes in place
// of the crystals.
bool describeFromLooseFiles(const std::string& folder, const GivenFiles& given,
                            SceneDescription& scene) {
    if (given.pictures.size() > 1) {
        return refuse("give one picture at a time (%s and %s came together)",
                      given.pictures[0].c_str(), given.pictures[1].c_str());
    }
    if (given.meshes.size() > static_cast<std::size_t>(kMaxLooseMeshes)) {
        return refuse(
            "%zu meshes came, and without a scene file meshes take only the three "
            "crystals' places (a scene file places any of the four objects)",
            given.meshes.size());
    }
    if (shown >= 0) {
        scene = descriptions[shown];
    } else {
        describeShipped(scene);
    }
    if (!given.pictures.empty()) {
        scene.picture = folder + "/" + given.pictures[0];
    }
    for (std::size_t i = 0; i < given.meshes.size(); ++i) {
        if (!fitIntoSlot(folder + "/" + given.meshes[i], static_cast<int>(i) + 1,
                         scene.objects[i + 1])) {
            return false;
        }
    }
    return true;
}

// Files of earlier sets that the scene drawn no longer names are dropped
// from memory; the rest stay, since a later picture alone reads the
// meshes again.
void forgetUnusedFiles() {
    std::vector<std::string> kept;
    if (shown >= 0) {
        const SceneDescription& scene = descriptions[shown];
        for (const std::string* path :
             {&scene.picture, &scene.objects[0].mesh, &scene.objects[1].mesh,
              &scene.objects[2].mesh, &scene.objects[3].mesh}) {
            char resolved[PATH_MAX];
            if (realpath(path->c_str(), resolved)) {
                kept.push_back(resolved);
            }
        }
    }
    DIR* sets = opendir(kUserFolder);
    if (!sets) {
        return;
    }
    while (const dirent* set = readdir(sets)) {
        if (set->d_name[0] == '.') {
            continue;
        }
        const std::string folder = std::string(kUserFolder) + "/" + set->d_name;
        if (DIR* files = opendir(folder.c_str())) {
            while (const dirent* file = readdir(files)) {
                const std::string path = folder + "/" + file->d_name;
                if (file->d_name[0] != '.' &&
                    std::find(kept.begin(), kept.end(), path) == kept.end()) {
                    unlink(path.c_str());
                }
            }
            closedir(files);
        }
        rmdir(folder.c_str());  // only once it is empty
    }
    closedir(sets);
}

}  // namespace

bool openUserFiles(int folderNumber) {
    failure[0] = '\0';
    const std::string folder = std::string(kUserFolder) + "/" + std::to_string(folderNumber);
    const int next = shown == 0 ? 1 : 0;
    SceneDescription& scene = descriptions[next];
    GivenFiles given;
    bool described = listFiles(folder, given);
    if (described) {
        described = given.scenes.empty() ? describeFromLooseFiles(folder, given, scene)
                                         : describeFromSceneFile(folder, given, scene);
    }
    if (described && !changeScene(&scene)) {
        described = refuse("%s", GetFailureReason());
    }
    // Only the graphics can fail once the scene has changed hands.
    shown = customScene == &scene ? next : shown;
    sayPlainNames(failure);
    forgetUnusedFiles();
    return described;
}

bool openShippedScene() {
    failure[0] = '\0';
    const bool changed = changeScene(nullptr) || refuse("%s", GetFailureReason());
    shown = changed ? -1 : shown;
    forgetUnusedFiles();
    return changed;
}

const char* userSceneFailure() {
    return failure;
}

extern "C" {
// For the page's script, between frames: the visitor's files in
// "/user/<folder>/" (1 when drawn from now on, 0 when refused), back to the
// shipped scene, and why the last was refused.
EMSCRIPTEN_KEEPALIVE int glasswake_open_files(int folder) {
    return openUserFiles(folder) ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE int glasswake_open_shipped() {
    return openShippedScene() ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE const char* glasswake_open_failure() {
    return userSceneFailure();
}
}
