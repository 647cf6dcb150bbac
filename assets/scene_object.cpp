#include "assets/scene_object.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "assets/file_stream.h"

namespace {

constexpr std::uint32_t chunkId(const char (&id)[5]) {
    return (std::uint32_t(std::uint8_t(id[0])) << 24) | (std::uint32_t(std::uint8_t(id[1])) << 16) |
           (std::uint32_t(std::uint8_t(id[2])) << 8) | std::uint32_t(std::uint8_t(id[3]));
}

constexpr std::uint32_t formId = chunkId("FORM");
constexpr std::uint32_t lwobId = chunkId("LWOB");
constexpr std::uint32_t pointsId = chunkId("PNTS");
constexpr std::uint32_t polygonsId = chunkId("POLS");

// Every number in the file is big-endian; a short read is a failed load, so
// nothing is ever built from bytes the file did not hold.
bool readU16(FileStream& stream, std::uint16_t& value) {
    std::uint8_t bytes[2];
    if (!stream.read(bytes, sizeof bytes)) {
        return false;
    }
    value = std::uint16_t((bytes[0] << 8) | bytes[1]);
    return true;
}

bool readU32(FileStream& stream, std::uint32_t& value) {
    std::uint8_t bytes[4];
    if (!stream.read(bytes, sizeof bytes)) {
        return false;
    }
    value = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
            (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]);
    return true;
}

bool readFloat(FileStream& stream, float& value) {
    std::uint32_t bits;
    if (!readU32(stream, bits)) {
        return false;
    }
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool readPoints(FileStream& stream, SceneObject& object, std::uint32_t size) {
    if (object.pointCount != 0 || size % 12 != 0) {
        return false;
    }
    const std::uint32_t count = size / 12;
    object.center = Vector3();
    if (count == 0) {
        return true;  // a later point list is still welcome
    }
    Vertex* points = new (std::nothrow) Vertex[count]();
    if (!points) {
        return false;
    }
    object.points = points;
    object.pointCount = std::int32_t(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Vector3& position = points[i].position;
        if (!readFloat(stream, position.x) || !readFloat(stream, position.y) ||
            !readFloat(stream, position.z)) {
            return false;
        }
        object.center = object.center + position;
    }
    const float scale = 1.0f / float(count);
    object.center = object.center * scale;
    return true;
}

// Fills one face from a record whose count n (at least 3) was just read. A
// refused face goes back to the default state, so it never holds unset pointers.
bool readFace(FileStream& stream, SceneObject& object, Face& face, std::uint16_t n) {
    face.reset();
    Vertex** vertices = new (std::nothrow) Vertex*[n]();
    Edge** edges = new (std::nothrow) Edge*[n]();
    if (!vertices || !edges) {
        delete[] vertices;
        delete[] edges;
        return false;
    }
    face.vertices = vertices;
    face.edges = edges;
    face.vertexCount = n;
    for (std::uint16_t k = 0; k < n; ++k) {
        std::uint16_t index;
        if (!readU16(stream, index) || index >= object.pointCount) {
            face.reset();
            return false;
        }
        vertices[k] = &object.points[index];
    }
    std::uint16_t surface;  // read past, never examined
    if (!readU16(stream, surface)) {
        face.reset();
        return false;
    }
    return true;
}

bool readPolygons(FileStream& stream, SceneObject& object, std::uint32_t size) {
    if (object.faceCount != 0) {
        return false;
    }
    const long start = stream.tell();
    if (start < 0) {
        return false;
    }
    // Counting pass: how many records become faces, and do they fill the chunk exactly.
    std::uint64_t consumed = 0;
    std::uint32_t count = 0;
    while (consumed < size) {
        std::uint16_t n;
        if (!readU16(stream, n) || !stream.skip(2 * long(n) + 2)) {
            return false;
        }
        consumed += 2 * std::uint64_t(n) + 4;
        if (n >= 3) {
            ++count;
        }
    }
    if (consumed > size || !stream.seek(start)) {
        return false;
    }
    std::int64_t chunkLeft = size;
    if (count > 0) {
        // Each face needs a record of at least 10 bytes, so count fits the chunk.
        Face* faces = new (std::nothrow) Face[count];
        if (!faces) {
            return false;
        }
        object.faces = faces;
        object.faceCount = std::int32_t(count);
        for (std::uint32_t f = 0; f < count; ++f) {
            std::uint16_t n;
            for (;;) {
                if (!readU16(stream, n)) {
                    return false;
                }
                chunkLeft -= 2 * std::int64_t(n) + 4;
                if (n >= 3) {
                    break;
                }
                if (!stream.skip(2 * long(n) + 2)) {
                    return false;
                }
            }
            if (!readFace(stream, object, faces[f], n)) {
                return false;
            }
        }
    }
    // Records of one or two vertices after the last face are passed over.
    return chunkLeft == 0 || stream.skip(long(chunkLeft));
}

void computePlanes(SceneObject& object) {
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        Face& face = object.faces[f];
        if (face.vertexCount < 3) {
            continue;
        }
        const Vector3 p0 = face.vertices[0]->position;
        const Vector3 e1 = face.vertices[1]->position - p0;
        const Vector3 e2 = face.vertices[2]->position - p0;
        face.planePoint = p0;
        face.planeNormal = e1.cross(e2);
        face.planeNormal.normalize();  // collinear first vertices keep a zero normal
        face.planeDistance = face.planeNormal.dot(face.planePoint);
    }
}

}  // namespace

void Face::reset() {
    delete[] vertices;
    delete[] edges;
    planeNormal = Vector3(1.0f, 0.0f, 0.0f);
    planeDistance = 0.0f;
    planePoint = Vector3();
    vertexCount = 0;
    vertices = nullptr;
    edges = nullptr;
    color = Color(1.0f, 1.0f, 1.0f, 1.0f);
    frontFacing = 0;
}

void SceneObject::clear() {
    faceCount = 0;
    delete[] faces;
    faces = nullptr;
    pointCount = 0;
    delete[] points;
    points = nullptr;
    edgeCount = 0;
    delete[] edges;
    edges = nullptr;
    baseColor = Color(1.0f, 1.0f, 1.0f, 0.5f);
    reflectColor = Color(1.0f, 1.0f, 1.0f, 0.5f);
    center = Vector3();
}

bool SceneObject::loadLwo(const char* path) {
    FileStream stream;
    if (!stream.open(path, "rb")) {
        return false;
    }
    std::uint32_t id;
    std::uint32_t remaining;
    std::uint32_t formType;
    if (!readU32(stream, id) || id != formId || !readU32(stream, remaining) ||
        !readU32(stream, formType) || formType != lwobId || remaining < 4) {
        return false;
    }
    remaining -= 4;
    // Chunk sizes are checked against the real file before anything is allocated.
    const long fileBytes = stream.fileSize();
    if (fileBytes < 0) {
        return false;
    }

    clear();
    while (remaining != 0) {
        std::uint32_t chunk;
        std::uint32_t size;
        if (remaining < 8 || !readU32(stream, chunk) || !readU32(stream, size)) {
            return false;
        }
        remaining -= 8;
        if (size > remaining) {
            return false;
        }
        remaining -= size;
        const long start = stream.tell();
        if (start < 0 || std::int64_t(size) > std::int64_t(fileBytes) - start) {
            return false;
        }
        bool ok;
        if (chunk == pointsId) {
            ok = readPoints(stream, *this, size);
        } else if (chunk == polygonsId) {
            ok = readPolygons(stream, *this, size);
        } else {
            ok = stream.skip(long(size));
        }
        if (!ok) {
            return false;
        }
    }
    stream.close();
    computePlanes(*this);
    return true;
}

void SceneObject::shade(const Vector3& lightDirection, const Color& ambient, const Color& diffuse) {
    const Color ambientTerm(ambient.r * baseColor.r, ambient.g * baseColor.g,
                            ambient.b * baseColor.b, baseColor.a);
    const Color diffuseTerm(diffuse.r * baseColor.r, diffuse.g * baseColor.g,
                            diffuse.b * baseColor.b, 0.0f);
    if (!faces) {
        return;
    }
    for (std::int32_t f = 0; f < faceCount; ++f) {
        Face& face = faces[f];
        const Vector3& n = face.planeNormal;
        const float k =
            (-n.x) * lightDirection.x + (-n.y) * lightDirection.y + (-n.z) * lightDirection.z;
        if (k > 0.0f) {
            face.color =
                Color(ambientTerm.r + k * diffuseTerm.r, ambientTerm.g + k * diffuseTerm.g,
                      ambientTerm.b + k * diffuseTerm.b, ambientTerm.a + k * diffuseTerm.a);
        } else {
            face.color = ambientTerm;
        }
    }
}

bool SceneObject::buildEdges() {
    edgeCount = 0;
    delete[] edges;
    edges = nullptr;
    if (!faces) {
        return false;
    }
    // Faces must not keep pointers into the table just freed.
    std::int64_t total = 0;
    for (std::int32_t f = 0; f < faceCount; ++f) {
        Face& face = faces[f];
        if (face.vertexCount > 0 && (!face.vertices || !face.edges)) {
            return false;
        }
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            face.edges[k] = nullptr;
        }
        total += face.vertexCount;
    }
    const std::int64_t count = total / 2;
    if (count <= 0 || count > INT32_MAX) {
        return false;
    }
    Edge* table = new (std::nothrow) Edge[std::size_t(count)]();
    if (!table) {
        return false;
    }
    edges = table;
    edgeCount = std::int32_t(count);

    std::int32_t found = 0;
    for (std::int32_t f = 0; f < faceCount; ++f) {
        Face& face = faces[f];
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            Vertex* a = face.vertices[k];
            Vertex* b = face.vertices[k + 1 < face.vertexCount ? k + 1 : 0];
            Edge* edge = nullptr;
            for (std::int32_t e = 0; e < found; ++e) {
                if ((edges[e].vertexA == a && edges[e].vertexB == b) ||
                    (edges[e].vertexA == b && edges[e].vertexB == a)) {
                    edge = &edges[e];
                    break;
                }
            }
            if (!edge) {
                if (found >= edgeCount) {
                    return false;  // more distinct edges than a closed mesh can have
                }
                edge = &edges[found++];
                edge->vertexA = a;
                edge->vertexB = b;
            }
            face.edges[k] = edge;
            if (!edge->faceA) {
                edge->faceA = &face;
            } else if (!edge->faceB) {
                edge->faceB = &face;
            } else {
                return false;  // a third face along one edge
            }
        }
    }
    return found == edgeCount;
}
