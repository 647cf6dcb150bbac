#include "scene/scene_file.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <sstream>

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

namespace {

const char* const kObjectKeys[] = {
    "mesh", "scale", "offset", "base-color", "reflect-color", "refract-color", "refractive-index"};

bool readText(const char* path, std::string& text, ReadFailure& failure) {
    FileStream stream;
    if (!stream.open(path, "rb", &failure)) {
        return false;
    }
    const long size = stream.fileSize();
    if (size < 0 || size > kMaxSceneFileBytes) {
        failure.set("a scene file is at most %ld KiB", kMaxSceneFileBytes >> 10);
        return false;
    }
    text.resize(std::size_t(size));
    if (size > 0 && !stream.read(&text[0], std::size_t(size))) {
        failure.set("the scene file could not be read");
        return false;
    }
    return true;
}

// A scene file is plain ASCII. The TOML parser's whitespace tests, which it
// also runs over the text of values it is reading (quoted strings
// included), meet characters beyond ASCII that its tables do not cover and
// reach an unreachable branch (anything may happen): such text is refused
// before parsing, with its line.
bool plainEnough(const std::string& text, ReadFailure& failure) {
    int line = 1;
    for (const char c : text) {
        line += c == '\n' ? 1 : 0;
        if (std::uint8_t(c) >= 0x80) {
            failure.set("line %d: a scene file is plain ASCII (file names too)", line);
            return false;
        }
    }
    return true;
}

// The folder part of path, with its slash; empty for a bare name.
std::string folderOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
#ifdef _WIN32
    const char* back = std::strrchr(path, '\\');
    slash = back && (!slash || back > slash) ? back : slash;
#endif
    return slash ? std::string(path, std::size_t(slash - path + 1)) : std::string();
}

bool readPath(const toml::node_view<const toml::node> node, const std::string& folder,
              std::string& path) {
    const std::optional<std::string> text = node.value<std::string>();
    if (!text || text->empty()) {
        return false;
    }
    // Absolute as given: from the root, or (on Windows) from a drive.
    const std::string& name = *text;
    const bool absolute =
        name[0] == '/' || name[0] == '\\' ||
        (name.size() > 1 && name[1] == ':' && std::isalpha(std::uint8_t(name[0])));
    path = absolute ? name : folder + name;
    return true;
}

// count finite numbers from an array, each in [low, high].
bool readNumbers(const toml::node* node, int count, float low, float high, float* out) {
    const toml::array* array = node ? node->as_array() : nullptr;
    if (!array || int(array->size()) != count) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const std::optional<double> value = (*array)[std::size_t(i)].value<double>();
        if (!value || !std::isfinite(*value) || *value < low || *value > high) {
            return false;
        }
        out[i] = float(*value);
    }
    return true;
}

bool readColor(const toml::table& table, const char* key, Color& color) {
    const toml::node* node = table.get(key);
    float rgba[4];
    if (!node) {
        return true;
    }
    if (!readNumbers(node, 4, 0.0f, 16.0f, rgba)) {
        return false;
    }
    color = Color(rgba[0], rgba[1], rgba[2], rgba[3]);
    return true;
}

bool readScalar(const toml::table& table, const char* key, float low, float high, float& out) {
    const toml::node* node = table.get(key);
    if (!node) {
        return true;
    }
    const std::optional<double> value = node->value<double>();
    if (!value || !std::isfinite(*value) || *value <= low || *value > high) {
        return false;
    }
    out = float(*value);
    return true;
}

// One object's table; what is wrong with the first key it refuses goes
// into problem.
bool readObject(const toml::table& table, const std::string& folder, ObjectDescription& object,
                std::string& problem) {
    for (const auto& entry : table) {
        bool known = false;
        for (const char* key : kObjectKeys) {
            known = known || entry.first.str() == key;
        }
        if (!known) {
            problem = "unknown key \"" + std::string(entry.first.str()).substr(0, 30) + "\"";
            return false;
        }
    }
    float offset[3] = {0, 0, 0};
    const toml::node* offsetNode = table.get("offset");
    const char* bad = nullptr;
    if (!readPath(table["mesh"], folder, object.mesh)) {
        bad = "mesh";
    } else if (!readScalar(table, "scale", 0.0f, 1e4f, object.scale)) {
        bad = "scale";
    } else if (offsetNode && !readNumbers(offsetNode, 3, -1e4f, 1e4f, offset)) {
        bad = "offset";
    } else if (!readColor(table, "base-color", object.baseColor)) {
        bad = "base-color";
    } else if (!readColor(table, "reflect-color", object.reflectColor)) {
        bad = "reflect-color";
    } else if (!readColor(table, "refract-color", object.refractColor)) {
        bad = "refract-color";
    } else if (!readScalar(table, "refractive-index", 0.0f, 10.0f, object.refractiveIndex)) {
        bad = "refractive-index";
    }
    object.offset = Vector3(offset[0], offset[1], offset[2]);
    if (bad) {
        problem = std::string(bad) + " is missing or out of range";
    }
    return !bad;
}

bool readTables(const toml::table& root, const std::string& folder, SceneDescription& scene,
                ReadFailure& failure) {
    for (const auto& entry : root) {
        bool known = entry.first.str() == "picture";
        for (const char* name : kSceneObjectNames) {
            known = known || entry.first.str() == name;
        }
        if (!known) {
            failure.set("line %u: unknown entry \"%.40s\"",
                        unsigned(entry.first.source().begin.line),
                        std::string(entry.first.str()).c_str());
            return false;
        }
    }
    if (!readPath(root["picture"], folder, scene.picture)) {
        failure.set("the scene names no picture (picture = \"FILE\")");
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        const toml::table* table = root[kSceneObjectNames[i]].as_table();
        std::string problem;
        if (!table) {
            failure.set("the scene has no [%s] table with its mesh", kSceneObjectNames[i]);
            return false;
        }
        if (!readObject(*table, folder, scene.objects[i], problem)) {
            failure.set("[%s]: %s", kSceneObjectNames[i], problem.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

bool readSceneFile(const char* path, SceneDescription& scene, ReadFailure& failure) {
    failure.clear();
    std::string text;
    if (!readText(path, text, failure) || !plainEnough(text, failure)) {
        return false;
    }
    toml::parse_result parsed = toml::parse(text, std::string_view(path));
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        failure.set("line %u: %.80s", unsigned(error.source().begin.line),
                    std::string(error.description()).c_str());
        return false;
    }
    SceneDescription read;
    if (!readTables(parsed.table(), folderOf(path), read, failure)) {
        return false;
    }
    scene = read;
    return true;
}

namespace {

void writeNumbers(std::ostringstream& out, const float* values, int count) {
    out << '[';
    for (int i = 0; i < count; ++i) {
        out << (i ? ", " : "") << values[i];
    }
    out << "]\n";
}

void writeColor(std::ostringstream& out, const Color& color) {
    const float values[4] = {color.r, color.g, color.b, color.a};
    writeNumbers(out, values, 4);
}

}  // namespace

std::string absoluteScenePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

std::string sceneFileText(const SceneDescription& scene) {
    std::ostringstream out;
    out << "# A Glasswake scene: the picture, then each object's mesh and looks.\n"
        << "picture = " << toml::value<std::string>(scene.picture) << "\n";
    for (int i = 0; i < 4; ++i) {
        const ObjectDescription& object = scene.objects[i];
        const float offset[3] = {object.offset.x, object.offset.y, object.offset.z};
        out << "\n[" << kSceneObjectNames[i]
            << "]\nmesh = " << toml::value<std::string>(object.mesh) << "\nscale = " << object.scale
            << "\noffset = ";
        writeNumbers(out, offset, 3);
        out << "base-color = ";
        writeColor(out, object.baseColor);
        out << "reflect-color = ";
        writeColor(out, object.reflectColor);
        out << "refract-color = ";
        writeColor(out, object.refractColor);
        out << "refractive-index = " << object.refractiveIndex << "\n";
    }
    return out.str();
}
