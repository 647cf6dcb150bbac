#include "tools/example_scenes.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "scene/scene_constants.h"
#include "scene/scene_file.h"
#include "tools/output_file.h"

namespace {

// One ring of a solid of revolution: its radius and height; radius 0 is a
// single point (a tip).
struct Ring {
    double radius;
    double height;
};

// A convex solid of revolution about a vertical axis through center, as OBJ
// text: the rings, top first, joined by planar trapezoids (triangles at a
// tip), closed by flat faces where the first or last ring is not a tip.
// The profile must be convex for the solid to be.
std::string revolvedObj(const std::vector<Ring>& rings, int sides, const double center[3],
                        double scale) {
    std::string text = "# made by glasswake-tool make-data --scene-example\n";
    std::vector<std::vector<int>> index;
    int next = 1;
    char line[128];
    for (const Ring& ring : rings) {
        std::vector<int> points;
        for (int k = 0; k < (ring.radius > 0 ? sides : 1); ++k) {
            const double angle = 2.0 * 3.141592653589793 * k / sides;
            std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n",
                          center[0] + scale * ring.radius * std::cos(angle),
                          center[1] + scale * ring.height,
                          center[2] + scale * ring.radius * std::sin(angle));
            text += line;
            points.push_back(next++);
        }
        index.push_back(points);
    }
    const auto at = [&](std::size_t r, int k) {
        return index[r][std::size_t(k % int(index[r].size()))];
    };
    if (index.front().size() > 1) {
        text += "f";
        for (int k = sides - 1; k >= 0; --k) {
            text += " " + std::to_string(at(0, k));
        }
        text += "\n";
    }
    for (std::size_t r = 0; r + 1 < rings.size(); ++r) {
        for (int k = 0; k < sides; ++k) {
            text += "f " + std::to_string(at(r, k)) + " " + std::to_string(at(r, k + 1)) + " ";
            text += index[r + 1].size() > 1
                        ? std::to_string(at(r + 1, k + 1)) + " " + std::to_string(at(r + 1, k))
                        : std::to_string(at(r + 1, 0));
            text += "\n";
        }
    }
    if (index.back().size() > 1) {
        text += "f";
        for (int k = 0; k < sides; ++k) {
            text += " " + std::to_string(at(rings.size() - 1, k));
        }
        text += "\n";
    }
    return text;
}

// The shipped scene with crystal 2 from mesh (or as shipped when empty).
std::string sceneWith(const char* mesh) {
    SceneDescription scene;
    scene.picture = std::strchr(kEnvironmentFile, '/') + 1;
    for (int i = 0; i < 4; ++i) {
        scene.objects[i].mesh = std::strchr(kObjectFiles[i], '/') + 1;
    }
    if (mesh) {
        scene.objects[2].mesh = mesh;
    }
    return sceneFileText(scene);
}

}  // namespace

bool writeTextFile(const std::string& path, const std::string& text, std::string& failure) {
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

bool writeExampleScenes(const std::string& directory, std::string& failure) {
    // Where crystal 2 stands in the shipped scene, a little lower.
    const double place[3] = {0.9168, 1.2, -0.4584};
    // A brilliant's profile: table, three crown rings, girdle, pavilion, culet.
    const std::vector<Ring> gem = {{0.5, 0.55}, {0.8, 0.42}, {0.95, 0.3},
                                   {1.0, 0.22}, {0.6, -0.2}, {0.0, -0.75}};
    const std::vector<Ring> prism = {{0.3, 1.3}, {0.3, -1.3}};
    return writeTextFile(directory + "/scene.toml", sceneWith(nullptr), failure) &&
           writeTextFile(directory + "/gem.obj", revolvedObj(gem, 40, place, 0.45), failure) &&
           writeTextFile(directory + "/gem.toml", sceneWith("gem.obj"), failure) &&
           writeTextFile(directory + "/brilliant.obj", revolvedObj(gem, 100, place, 0.45),
                         failure) &&
           writeTextFile(directory + "/brilliant.toml", sceneWith("brilliant.obj"), failure) &&
           writeTextFile(directory + "/prism.obj", revolvedObj(prism, 12, place, 0.5), failure) &&
           writeTextFile(directory + "/prism.toml", sceneWith("prism.obj"), failure);
}
