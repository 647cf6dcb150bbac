#include "assets/scene_object.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "assets/convexity.h"
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

// A chunk id for messages: its four bytes, anything unprintable as '?'.
struct ChunkName {
    char text[5];
    explicit ChunkName(std::uint32_t id) {
        for (int i = 0; i < 4; ++i) {
            const char c = char((id >> (24 - 8 * i)) & 0xFF);
            text[i] = c >= 0x20 && c < 0x7F ? c : '?';
        }
        text[4] = '\0';
    }
};

bool readPoints(FileStream& stream, SceneObject& object, std::uint32_t size) {
    if (object.pointCount != 0) {
        object.failure.set("a second PNTS chunk");
        return false;
    }
    if (size % 12 != 0) {
        object.failure.set("PNTS chunk size %u is not a multiple of 12", size);
        return false;
    }
    const std::uint32_t count = size / 12;
    object.center = Vector3();
    if (count == 0) {
        return true;  // a later point list is still welcome
    }
    Vertex* points = new (std::nothrow) Vertex[count]();
    if (!points) {
        object.failure.set("no memory for %u points", count);
        return false;
    }
    object.points = points;
    object.pointCount = std::int32_t(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Vector3& position = points[i].position;
        if (!readFloat(stream, position.x) || !readFloat(stream, position.y) ||
            !readFloat(stream, position.z)) {
            object.failure.set("PNTS chunk could not be read");
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
        object.failure.set("no memory for a face of %u vertices", unsigned(n));
        return false;
    }
    face.vertices = vertices;
    face.edges = edges;
    face.vertexCount = n;
    for (std::uint16_t k = 0; k < n; ++k) {
        std::uint16_t index;
        if (!readU16(stream, index)) {
            object.failure.set("POLS chunk could not be read");
            face.reset();
            return false;
        }
        if (index >= object.pointCount) {
            object.failure.set("face %d uses point %u of %d", int(&face - object.faces),
                               unsigned(index), object.pointCount);
            face.reset();
            return false;
        }
        vertices[k] = &object.points[index];
    }
    std::uint16_t surface;  // read past, never examined
    if (!readU16(stream, surface)) {
        object.failure.set("POLS chunk could not be read");
        face.reset();
        return false;
    }
    return true;
}

// Counting pass: how many records become faces (those of three vertices or
// more), and do the records fill the chunk exactly.
bool countFaces(FileStream& stream, SceneObject& object, std::uint32_t size, std::uint32_t& count) {
    std::uint64_t consumed = 0;
    count = 0;
    while (consumed < size) {
        std::uint16_t n = 0;
        if (size - consumed < 2 || !readU16(stream, n) ||
            (consumed += 2 * std::uint64_t(n) + 4) > size) {
            object.failure.set("a polygon runs past the end of the POLS chunk");
            return false;
        }
        if (!stream.skip(2 * long(n) + 2)) {
            object.failure.set("POLS chunk could not be read");
            return false;
        }
        if (n >= 3) {
            ++count;
        }
    }
    return true;
}

// Reads the next record of three vertices or more into face, passing over
// shorter ones; chunkLeft loses every record's bytes.
bool readNextFace(FileStream& stream, SceneObject& object, Face& face, std::int64_t& chunkLeft) {
    for (;;) {
        std::uint16_t n;
        if (!readU16(stream, n)) {
            object.failure.set("POLS chunk could not be read");
            return false;
        }
        chunkLeft -= 2 * std::int64_t(n) + 4;
        if (n >= 3) {
            return readFace(stream, object, face, n);
        }
        if (!stream.skip(2 * long(n) + 2)) {
            object.failure.set("POLS chunk could not be read");
            return false;
        }
    }
}

bool readPolygons(FileStream& stream, SceneObject& object, std::uint32_t size) {
    if (object.faceCount != 0) {
        object.failure.set("a second POLS chunk");
        return false;
    }
    const long start = stream.tell();
    std::uint32_t count = 0;
    if (!countFaces(stream, object, size, count)) {
        return false;
    }
    if (start < 0 || !stream.seek(start)) {
        object.failure.set("POLS chunk could not be read");
        return false;
    }
    std::int64_t chunkLeft = size;
    if (count > 0) {
        // Each face needs a record of at least 10 bytes, so count fits the chunk.
        Face* faces = new (std::nothrow) Face[count];
        if (!faces) {
            object.failure.set("no memory for %u faces", count);
            return false;
        }
        object.faces = faces;
        object.faceCount = std::int32_t(count);
        for (std::uint32_t f = 0; f < count; ++f) {
            if (!readNextFace(stream, object, faces[f], chunkLeft)) {
                return false;
            }
        }
    }
    // Records of one or two vertices after the last face are passed over.
    if (chunkLeft != 0 && !stream.skip(long(chunkLeft))) {
        object.failure.set("POLS chunk could not be read");
        return false;
    }
    return true;
}

}  // namespace

void SceneObject::updatePlanes() {
    SceneObject& object = *this;
    Vector3 sum;
    for (std::int32_t p = 0; p < pointCount; ++p) {
        sum = sum + points[p].position;
    }
    center = pointCount > 0 ? sum * (1.0f / float(pointCount)) : Vector3();
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
    convex = false;
    faceLines.clear();
    faceCount = 0;
    delete[] faces;
    faces = nullptr;
    pointCount = 0;
    delete[] points;
    points = nullptr;
    edgeCount = 0;
    delete[] edges;
    edges = nullptr;
    baseColor = kObjectBaseColor;
    reflectColor = kObjectReflectColor;
    refractColor = kObjectRefractColor;
    refractiveIndex = kObjectRefractiveIndex;
    center = Vector3();
}

void SceneObject::swap(SceneObject& other) {
    std::swap(pointCount, other.pointCount);
    std::swap(points, other.points);
    std::swap(faceCount, other.faceCount);
    std::swap(faces, other.faces);
    std::swap(edgeCount, other.edgeCount);
    std::swap(edges, other.edges);
    std::swap(center, other.center);
    std::swap(baseColor, other.baseColor);
    std::swap(reflectColor, other.reflectColor);
    std::swap(refractColor, other.refractColor);
    std::swap(refractiveIndex, other.refractiveIndex);
    std::swap(convex, other.convex);
    std::swap(failure, other.failure);
    std::swap(notice, other.notice);
    faceLines.swap(other.faceLines);
}

namespace {

// The FORM header; remaining is what the FORM holds after its type.
bool readFormHeader(FileStream& stream, ReadFailure& failure, std::uint32_t& remaining) {
    std::uint32_t id;
    std::uint32_t formType;
    if (!readU32(stream, id) || !readU32(stream, remaining) || !readU32(stream, formType)) {
        failure.set("the file is too short for an LWOB header");
        return false;
    }
    if (id != formId || formType != lwobId) {
        failure.set("not an LWOB object (the file does not start with FORM....LWOB)");
        return false;
    }
    if (remaining < 4) {
        failure.set("FORM size %u is too small", remaining);
        return false;
    }
    remaining -= 4;
    return true;
}

// Every chunk of the FORM: points and polygons read, anything else passed
// over. Chunk sizes are checked against the FORM and the real file before
// anything is allocated.
bool readChunks(FileStream& stream, SceneObject& object, std::uint32_t remaining, long fileBytes) {
    ReadFailure& failure = object.failure;
    while (remaining != 0) {
        std::uint32_t chunk;
        std::uint32_t size;
        if (remaining < 8) {
            failure.set("a chunk header runs past the end of the FORM");
            return false;
        }
        if (!readU32(stream, chunk) || !readU32(stream, size)) {
            failure.set("a chunk header runs past the end of the file");
            return false;
        }
        remaining -= 8;
        if (size > remaining) {
            failure.set("%s chunk runs past the end of the FORM", ChunkName(chunk).text);
            return false;
        }
        remaining -= size;
        const long start = stream.tell();
        if (start < 0 || std::int64_t(size) > std::int64_t(fileBytes) - start) {
            failure.set("%s chunk runs past the end of the file", ChunkName(chunk).text);
            return false;
        }
        bool ok;
        if (chunk == pointsId) {
            ok = readPoints(stream, object, size);
        } else if (chunk == polygonsId) {
            ok = readPolygons(stream, object, size);
        } else {
            ok = stream.skip(long(size));
            if (!ok) {
                failure.set("%s chunk could not be read", ChunkName(chunk).text);
            }
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool SceneObject::loadLwo(const char* path) {
    failure.clear();
    notice.clear();
    FileStream stream;
    std::uint32_t remaining;
    if (!stream.open(path, "rb", &failure) || !readFormHeader(stream, failure, remaining)) {
        return false;
    }
    const long fileBytes = stream.fileSize();
    if (fileBytes < 0) {
        failure.set("the file size cannot be told");
        return false;
    }
    clear();
    if (!readChunks(stream, *this, remaining, fileBytes)) {
        return false;
    }
    stream.close();
    updatePlanes();
    convex = meshIsConvex(*this);
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

namespace {

// The edges found so far, found again by their two end points in either
// order: open addressing over a power-of-two table of edge indices.
struct EdgeIndex {
    std::int32_t* slots = nullptr;
    std::size_t mask = 0;

    ~EdgeIndex() { delete[] slots; }

    bool create(std::int64_t edgeCount) {
        std::size_t size = 16;
        while (size < std::size_t(edgeCount) * 2) {
            size *= 2;
        }
        slots = new (std::nothrow) std::int32_t[size];
        if (!slots) {
            return false;
        }
        std::memset(slots, 0xFF, size * sizeof *slots);  // every slot -1: empty
        mask = size - 1;
        return true;
    }

    static std::size_t hash(const Vertex* a, const Vertex* b) {
        std::uint64_t low = std::uintptr_t(a);
        std::uint64_t high = std::uintptr_t(b);
        if (low > high) {
            std::swap(low, high);
        }
        std::uint64_t h = low * 0x9E3779B97F4A7C15ull ^ (high + 0x632BE59BD9B4E019ull);
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ull;
        return std::size_t(h ^ (h >> 29));
    }

    // The slot holding the edge between a and b, or the empty slot where it goes.
    std::int32_t* find(const Edge* edges, const Vertex* a, const Vertex* b) const {
        for (std::size_t i = hash(a, b) & mask;; i = (i + 1) & mask) {
            const std::int32_t e = slots[i];
            if (e < 0 || (edges[e].vertexA == a && edges[e].vertexB == b) ||
                (edges[e].vertexA == b && edges[e].vertexB == a)) {
                return &slots[i];
            }
        }
    }
};

}  // namespace

namespace {

// Checks every face's lists and forgets their edges (faces must not keep
// pointers into a table about to be freed); total counts the face sides.
bool forgetFaceEdges(SceneObject& object, std::int64_t& total) {
    total = 0;
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        Face& face = object.faces[f];
        if (face.vertexCount > 0 && (!face.vertices || !face.edges)) {
            object.failure.set("face %d has no vertex list", f);
            return false;
        }
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            face.edges[k] = nullptr;
        }
        total += face.vertexCount;
    }
    return true;
}

// Each side finds its edge by its end points (the first face to meet an
// edge creates it), so the table lists edges in the order sides first meet
// them. False unless every edge joins exactly two face sides.
bool linkSides(SceneObject& object, EdgeIndex& index) {
    Edge* edges = object.edges;
    std::int32_t found = 0;
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        Face& face = object.faces[f];
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            Vertex* a = face.vertices[k];
            Vertex* b = face.vertices[k + 1 < face.vertexCount ? k + 1 : 0];
            std::int32_t* slot = index.find(edges, a, b);
            if (*slot < 0) {
                if (found >= object.edgeCount) {
                    object.failure.set(
                        "the mesh is not closed (face %d has an edge no other face shares)", f);
                    return false;
                }
                *slot = found;
                edges[found].vertexA = a;
                edges[found].vertexB = b;
                ++found;
            }
            Edge* edge = &edges[*slot];
            face.edges[k] = edge;
            if (!edge->faceA) {
                edge->faceA = &face;
            } else if (!edge->faceB) {
                edge->faceB = &face;
            } else {
                object.failure.set("face %d shares an edge that two other faces already share", f);
                return false;
            }
        }
    }
    if (found != object.edgeCount) {
        object.failure.set("the mesh is not closed");
        return false;
    }
    return true;
}

}  // namespace

bool SceneObject::buildEdges() {
    failure.clear();
    edgeCount = 0;
    delete[] edges;
    edges = nullptr;
    if (!faces) {
        failure.set("the object has no faces");
        return false;
    }
    std::int64_t total = 0;
    if (!forgetFaceEdges(*this, total)) {
        return false;
    }
    const std::int64_t count = total / 2;
    if (count <= 0 || count > INT32_MAX / 2) {
        failure.set(count <= 0 ? "the object has no faces" : "the object has too many edges");
        return false;
    }
    EdgeIndex index;
    Edge* table = index.create(count) ? new (std::nothrow) Edge[std::size_t(count)]() : nullptr;
    if (!table) {
        failure.set("no memory for %lld edges", static_cast<long long>(count));
        return false;
    }
    edges = table;
    edgeCount = std::int32_t(count);
    return linkSides(*this, index);
}
