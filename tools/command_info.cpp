#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "scene/scene.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/scene_option.h"

namespace {

const CommandHelp infoHelp = {
    "info", "[OPTION]... FILE...",
    "Describes each FILE: a name ending in \".bmp\" (any case) is read as a picture, anything "
    "else as an LWOB object, which is then shaded and edge-linked as the demo does. A file that "
    "cannot be read is named with the reader's reason.\n"
    "With --json, one JSON object per line, one per FILE, in order:\n"
    "  object: {\"file\", \"type\": \"lwo\", \"ok\", \"points\", \"faces\", \"closed\", "
    "\"edges\", \"center\": [x, y, z], \"reason\"}\n"
    "  picture: {\"file\", \"type\": \"bmp\", \"ok\", \"width\", \"height\", \"bitsPerPixel\", "
    "\"rowBytes\", \"byteSize\", \"crc32\", \"reason\"}\n"
    "reason is why the file could not be read or the mesh is not closed, else \"\". crc32 is "
    "the CRC-32 of the decoded pixels (top row first, rows unpadded), 0 when there are none. In "
    "file names, bytes of 0x80 and above are written as \\u00XX escapes (each byte on its "
    "own), so the output is always valid ASCII JSON.",
    "glasswake-tool info data/crystal1.lwo data/env.bmp\n"
    "one line on each file\n"
    "glasswake-tool info --json data/*.lwo\n"
    "one JSON object per line",
    "0 when every file loaded, 1 when any did not, 2 for a bad command line."};

// A JSON string literal. Every byte >= 0x80 becomes \u00XX on its own: the
// name is shown byte for byte, and the line stays valid JSON whatever the
// encoding of the file system.
std::string jsonString(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const unsigned char c = *p;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

// For the readable form: control and high bytes shown as \xXX.
std::string plainName(const char* text) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x20 || *p == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", *p);
            out += escape;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out;
}

bool endsWithBmp(const char* name) {
    const std::size_t length = std::strlen(name);
    if (length < 4) {
        return false;
    }
    const char* tail = name + length - 4;
    const char* expected = ".bmp";
    for (int i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != expected[i]) {
            return false;
        }
    }
    return true;
}

const char* jsonBool(bool value) {
    return value ? "true" : "false";
}

bool describePicture(const char* path, bool json) {
    Image image;
    const bool ok = image.load(path, readBmp);
    std::uint32_t crc = 0;
    if (ok && image.pixels && image.byteSize > 0) {
        uLong value = crc32(0L, Z_NULL, 0);
        value = crc32(value, image.pixels, static_cast<uInt>(image.byteSize));
        crc = static_cast<std::uint32_t>(value);
    }
    if (json) {
        std::printf(
            "{\"file\": %s, \"type\": \"bmp\", \"ok\": %s, \"width\": %u, \"height\": %u, "
            "\"bitsPerPixel\": %u, \"rowBytes\": %u, \"byteSize\": %u, \"crc32\": %u, "
            "\"reason\": %s}\n",
            jsonString(path).c_str(), jsonBool(ok), image.width, image.height, image.bitsPerPixel,
            image.rowBytes, image.byteSize, crc, jsonString(image.failure.text).c_str());
    } else if (ok) {
        std::printf(
            "%s: BMP picture, %u x %u, %u bits per pixel, %u bytes per row, %u bytes, "
            "CRC-32 %08x\n",
            plainName(path).c_str(), image.width, image.height, image.bitsPerPixel, image.rowBytes,
            image.byteSize, crc);
    } else {
        std::printf("%s: %s\n", plainName(path).c_str(), image.failure.text);
    }
    return ok;
}

bool describeObject(const char* path, bool json) {
    SceneObject object;
    const ObjectSetup setup = setUpSceneObject(object, path);
    const bool ok = setup != ObjectSetup::NotLoaded;
    const bool closed = setup == ObjectSetup::Ready;
    // A failed load may leave counts without arrays: report nothing of it.
    const int points = ok ? object.pointCount : 0;
    const int faces = ok ? object.faceCount : 0;
    const int edges = ok ? object.edgeCount : 0;
    const Vector3 center = ok ? object.center : Vector3();
    if (json) {
        std::printf(
            "{\"file\": %s, \"type\": \"lwo\", \"ok\": %s, \"points\": %d, \"faces\": %d, "
            "\"closed\": %s, \"edges\": %d, \"center\": [%.9g, %.9g, %.9g], \"reason\": %s}\n",
            jsonString(path).c_str(), jsonBool(ok), points, faces, jsonBool(closed), edges,
            static_cast<double>(center.x), static_cast<double>(center.y),
            static_cast<double>(center.z), jsonString(object.failure.text).c_str());
    } else if (ok) {
        std::printf(
            "%s: LWOB object, %d points, %d faces, %s, %d edges, centre (%.9g, %.9g, "
            "%.9g)\n",
            plainName(path).c_str(), points, faces, closed ? "closed" : object.failure.text, edges,
            static_cast<double>(center.x), static_cast<double>(center.y),
            static_cast<double>(center.z));
    } else {
        std::printf("%s: %s\n", plainName(path).c_str(), object.failure.text);
    }
    return ok;
}

}  // namespace

int runInfo(int argc, char** argv) {
    using Kind = CommandOption::Kind;
    bool json = false;
    std::string scene;
    CommandOption table[] = {
        {"--json", 0, Kind::Flag, &json, nullptr, "one JSON object per line instead of text",
         nullptr},
        {"--scene", 0, Kind::Text, &scene, "FILE",
         "describe each object and the picture of a scene file, set up as the demo would "
         "(no FILE operands then)",
         "a scene file"}};
    std::vector<const char*> files;
    const int parsed = parseCommandLine(infoHelp, argc, argv, table, &files);
    if (parsed != 0) {
        return parsed == -1 ? 0 : parsed;
    }
    if (given(table, "--scene")) {
        if (!files.empty() || json) {
            return usageError("info", "--scene takes no FILE and no --json", nullptr);
        }
        return useSceneFile("info", scene) && reportScene("info") ? 0 : 1;
    }
    if (files.empty()) {
        return usageError("info", "no FILE given", nullptr);
    }
    bool allLoaded = true;
    for (const char* file : files) {
        const bool ok =
            endsWithBmp(file) ? describePicture(file, json) : describeObject(file, json);
        allLoaded = allLoaded && ok;
        std::fflush(stdout);
    }
    return allLoaded ? 0 : 1;
}
