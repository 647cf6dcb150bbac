// Wavefront OBJ meshes: "v" and "f" lines are read, everything else (normals,
// texture coordinates, groups, materials) is passed over. Our own reader,
// because the one in the distribution takes "nan" for 0 and keeps faces with
// out-of-range indices after a warning; here each is refused with its line.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "assets/file_stream.h"
#include "assets/mesh_faces.h"
#include "assets/scene_object.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

const char* skipBlanks(const char* at) {
    while (isBlank(*at)) {
        ++at;
    }
    return at;
}

// One "v x y z [w]" line; w is ignored.
bool readVertex(const char* at, int line, std::vector<Vector3>& points, ReadFailure& failure) {
    float xyz[3];
    for (float& value : xyz) {
        at = skipBlanks(at);
        char* end = nullptr;
        value = std::strtof(at, &end);
        if (end == at || (!isBlank(*end) && *end != '\n' && *end != '\0')) {
            failure.set("line %d: a vertex needs three numbers", line);
            return false;
        }
        if (!std::isfinite(value)) {
            failure.set("line %d: a vertex coordinate is not a finite number", line);
            return false;
        }
        at = end;
    }
    if (points.size() >= std::size_t(kMaxMeshPoints)) {
        failure.set("more than %d vertices", kMaxMeshPoints);
        return false;
    }
    points.emplace_back(xyz[0], xyz[1], xyz[2]);
    return true;
}

// One "f a b c ..." line, each corner "v", "v/t", "v/t/n" or "v//n"; a
// negative v counts back from the latest vertex.
bool readFace(const char* at, int line, std::int64_t pointCount, MeshFaces& faces,
              ReadFailure& failure) {
    const std::size_t first = faces.corners.size();
    for (at = skipBlanks(at); *at && *at != '\n'; at = skipBlanks(at)) {
        char* end = nullptr;
        const long long index = std::strtoll(at, &end, 10);
        if (end == at) {
            failure.set("line %d: a face corner is not a vertex number", line);
            return false;
        }
        const long long resolved = index < 0 ? pointCount + index : index - 1;
        if (index == 0 || resolved < 0 || resolved >= pointCount) {
            failure.set("line %d: the face uses vertex %lld of %lld", line, index,
                        static_cast<long long>(pointCount));
            return false;
        }
        for (std::size_t k = first; k < faces.corners.size(); ++k) {
            if (faces.corners[k] == resolved) {
                failure.set("line %d: the face uses vertex %lld twice", line, resolved + 1);
                return false;
            }
        }
        faces.corners.push_back(std::int32_t(resolved));
        at = end;
        while (*at && !isBlank(*at) && *at != '\n') {
            ++at;  // texture and normal indices
        }
    }
    const std::size_t count = faces.corners.size() - first;
    if (count < 3 || count > std::size_t(kMaxFaceVertices)) {
        failure.set(count < 3 ? "line %d: a face needs at least three vertices"
                              : "line %d: a face has more than 65535 vertices",
                    line);
        return false;
    }
    if (faces.lines.size() >= std::size_t(kMaxMeshFaces)) {
        failure.set("more than %d faces", kMaxMeshFaces);
        return false;
    }
    faces.starts.push_back(std::int32_t(first));
    faces.lines.push_back(line);
    return true;
}

bool parseObj(const char* text, std::vector<Vector3>& points, MeshFaces& faces,
              ReadFailure& failure) {
    int line = 1;
    for (const char* at = text; *at; ++line) {
        at = skipBlanks(at);
        bool ok = true;
        if (at[0] == 'v' && isBlank(at[1])) {
            ok = readVertex(at + 2, line, points, failure);
        } else if (at[0] == 'f' && isBlank(at[1])) {
            ok = readFace(at + 2, line, std::int64_t(points.size()), faces, failure);
        }
        if (!ok) {
            return false;
        }
        const char* end = std::strchr(at, '\n');
        at = end ? end + 1 : at + std::strlen(at);
    }
    faces.starts.push_back(std::int32_t(faces.corners.size()));
    return true;
}

}  // namespace

bool SceneObject::loadObj(const char* path) {
    failure.clear();
    notice.clear();
    FileStream stream;
    if (!stream.open(path, "rb", &failure)) {
        return false;
    }
    const long fileBytes = stream.fileSize();
    if (fileBytes < 0 || fileBytes > kMaxMeshFileBytes) {
        failure.set(fileBytes < 0 ? "the file size cannot be told"
                                  : "OBJ file of %ld bytes is over the %ld MiB limit",
                    fileBytes, kMaxMeshFileBytes >> 20);
        return false;
    }
    std::unique_ptr<char[]> text(new (std::nothrow) char[std::size_t(fileBytes) + 1]);
    if (!text || (fileBytes > 0 && !stream.read(text.get(), std::size_t(fileBytes)))) {
        failure.set(text ? "the OBJ file could not be read" : "no memory to read the OBJ file");
        return false;
    }
    stream.close();
    text[std::size_t(fileBytes)] = '\0';
    if (std::memchr(text.get(), '\0', std::size_t(fileBytes))) {
        failure.set("not an OBJ file (it holds NUL bytes)");
        return false;
    }
    std::vector<Vector3> positions;
    MeshFaces faceList;
    if (!parseObj(text.get(), positions, faceList, failure)) {
        return false;
    }
    if (faceList.lines.empty()) {
        failure.set("the OBJ file has no faces");
        return false;
    }
    clear();
    return buildMesh(*this, positions, faceList);
}
