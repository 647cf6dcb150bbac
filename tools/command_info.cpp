#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "assets/file_stream.h"
#include "assets/image.h"
#include "assets/picture.h"
#include "assets/scene_object.h"
#include "scene/scene.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/scene_option.h"

namespace {

const CommandHelp infoHelp = {
    "info", "[OPTION]... FILE...",
    "Describes each FILE as a scene's readers read it. Its first bytes tell a picture (BMP, PNG, "
    "JPEG) or an LWOB object; a file they do not tell, or that cannot be read, goes by its name "
    "(\".bmp\", \".png\", \".jpg\", \".jpeg\" a picture, \".lwo\" an LWOB object, any case), "
    "and anything else is read as an OBJ mesh. A picture is decoded at its own size; an object "
    "is shaded and edge-linked as the demo does, an OBJ mesh also wound outward (and said when "
    "turned round) and split where a face is not flat and convex. A file that cannot be read is "
    "named with the reader's reason.\n"
    "With --json, one JSON object per line, one per FILE, in order:\n"
    "  object: {\"file\", \"type\": \"lwo\" or \"obj\", \"ok\", \"points\", \"faces\", "
    "\"closed\", \"convex\", \"edges\", \"center\": [x, y, z], \"reason\", \"notice\"}\n"
    "  picture: {\"file\", \"type\": \"bmp\", \"png\" or \"jpeg\", \"ok\", \"width\", "
    "\"height\", \"bitsPerPixel\", \"rowBytes\", \"byteSize\", \"crc32\", \"reason\"}\n"
    "reason is why the file could not be read or the mesh is not closed, else \"\"; notice is "
    "what the reader mended (\"turned round: ...\"), else \"\". The OBJ reader refuses a mesh "
    "that is not closed: it is not ok. crc32 is the CRC-32 of the decoded pixels (top row first, "
    "rows unpadded), 0 when there are none. In file names, bytes of 0x80 and above are written "
    "as \\u00XX escapes (each byte on its own), so the output is always valid ASCII JSON.",
    "glasswake-tool info data/crystal1.lwo data/env.bmp\n"
    "one line on each file\n"
    "glasswake-tool info --json data/*.lwo gem.obj sky.jpg\n"
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

// Whether name ends in ending (lower case), in any case.
bool endsWith(const char* name, const char* ending) {
    const std::size_t length = std::strlen(name);
    const std::size_t size = std::strlen(ending);
    if (length < size) {
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        char c = name[length - size + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != ending[i]) {
            return false;
        }
    }
    return true;
}

// What a FILE is read as: its reader and the name the output gives it.
struct FileKind {
    enum Reader { Picture, Lwob, Obj } reader;
    const char* name;  // "BMP", "PNG", "JPEG", "LWOB" or "OBJ"
};

FileKind kindOf(const char* path) {
    // The readers' own stream: regular files only, so a FIFO never waits.
    std::uint8_t start[8] = {};
    std::size_t got = 0;
    FileStream stream;
    if (stream.open(path, "rb")) {
        const long size = stream.fileSize();
        got = size < 8 ? std::size_t(size > 0 ? size : 0) : 8;
        got = stream.read(start, got) ? got : 0;
    }
    if (const char* format = pictureFormat(start, got)) {
        return {FileKind::Picture, format};
    }
    if (got >= 4 && std::memcmp(start, "FORM", 4) == 0) {
        return {FileKind::Lwob, "LWOB"};
    }
    static const struct {
        const char* ending;
        FileKind kind;
    } byName[] = {{".bmp", {FileKind::Picture, "BMP"}},
                  {".png", {FileKind::Picture, "PNG"}},
                  {".jpg", {FileKind::Picture, "JPEG"}},
                  {".jpeg", {FileKind::Picture, "JPEG"}},
                  {".lwo", {FileKind::Lwob, "LWOB"}}};
    for (const auto& known : byName) {
        if (endsWith(path, known.ending)) {
            return known.kind;
        }
    }
    return {FileKind::Obj, "OBJ"};
}

// The kind's name as the JSON "type" gives it: "bmp", "png", "jpeg", "lwo", "obj".
std::string jsonType(const FileKind& kind) {
    if (kind.reader == FileKind::Lwob) {
        return "lwo";
    }
    std::string type = kind.name;
    for (char& c : type) {
        c = static_cast<char>(c - 'A' + 'a');
    }
    return type;
}

const char* jsonBool(bool value) {
    return value ? "true" : "false";
}

bool describePicture(const char* path, const FileKind& kind, bool json) {
    Image image;
    const bool ok = image.load(path, decodePicture);
    std::uint32_t crc = 0;
    if (ok && image.pixels && image.byteSize > 0) {
        uLong value = crc32(0L, Z_NULL, 0);
        value = crc32(value, image.pixels, static_cast<uInt>(image.byteSize));
        crc = static_cast<std::uint32_t>(value);
    }
    if (json) {
        std::printf(
            "{\"file\": %s, \"type\": \"%s\", \"ok\": %s, \"width\": %u, \"height\": %u, "
            "\"bitsPerPixel\": %u, \"rowBytes\": %u, \"byteSize\": %u, \"crc32\": %u, "
            "\"reason\": %s}\n",
            jsonString(path).c_str(), jsonType(kind).c_str(), jsonBool(ok), image.width,
            image.height, image.bitsPerPixel, image.rowBytes, image.byteSize, crc,
            jsonString(image.failure.text).c_str());
    } else if (ok) {
        std::printf(
            "%s: %s picture, %u x %u, %u bits per pixel, %u bytes per row, %u bytes, "
            "CRC-32 %08x\n",
            plainName(path).c_str(), kind.name, image.width, image.height, image.bitsPerPixel,
            image.rowBytes, image.byteSize, crc);
    } else {
        std::printf("%s: %s\n", plainName(path).c_str(), image.failure.text);
    }
    return ok;
}

// An LWOB object set up as the demo sets up its own, or an OBJ mesh read as
// a scene reads it.
bool describeObject(const char* path, const FileKind& kind, bool json) {
    SceneObject object;
    bool ok = false;
    bool closed = false;
    if (kind.reader == FileKind::Lwob) {
        const ObjectSetup setup = setUpSceneObject(object, path);
        ok = setup != ObjectSetup::NotLoaded;
        closed = setup == ObjectSetup::Ready;
    } else {
        ok = closed = object.loadObj(path);
    }
    // A failed load may leave counts without arrays: report nothing of it.
    const int points = ok ? object.pointCount : 0;
    const int faces = ok ? object.faceCount : 0;
    const int edges = ok ? object.edgeCount : 0;
    const bool convex = closed && object.convex;
    const Vector3 center = ok ? object.center : Vector3();
    if (json) {
        std::printf(
            "{\"file\": %s, \"type\": \"%s\", \"ok\": %s, \"points\": %d, \"faces\": %d, "
            "\"closed\": %s, \"convex\": %s, \"edges\": %d, \"center\": [%.9g, %.9g, %.9g], "
            "\"reason\": %s, \"notice\": %s}\n",
            jsonString(path).c_str(), jsonType(kind).c_str(), jsonBool(ok), points, faces,
            jsonBool(closed), jsonBool(convex), edges, static_cast<double>(center.x),
            static_cast<double>(center.y), static_cast<double>(center.z),
            jsonString(object.failure.text).c_str(), jsonString(object.notice.text).c_str());
    } else if (ok) {
        std::printf(
            "%s: %s, %d points, %d faces, %s, %d edges%s, centre (%.9g, %.9g, %.9g)\n",
            plainName(path).c_str(), kind.reader == FileKind::Lwob ? "LWOB object" : "OBJ mesh",
            points, faces, closed ? "closed" : object.failure.text, edges,
            closed ? (convex ? ", convex" : ", not convex") : "", static_cast<double>(center.x),
            static_cast<double>(center.y), static_cast<double>(center.z));
        if (object.notice.text[0]) {
            std::printf("%s: %s\n", plainName(path).c_str(), object.notice.text);
        }
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
        const FileKind kind = kindOf(file);
        const bool ok = kind.reader == FileKind::Picture ? describePicture(file, kind, json)
                                                         : describeObject(file, kind, json);
        allLoaded = allLoaded && ok;
        std::fflush(stdout);
    }
    return allLoaded ? 0 : 1;
}
