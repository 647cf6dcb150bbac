// The file readers and the stream under them, with the allocation probe. This
// program links the readers and math alone: nothing they declare is defined
// above them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "assets/file_stream.h"
#include "assets/image.h"
#include "assets/scene_object.h"
#include "tests/allocation_probe.h"
#include "tests/object_files.h"
#include "tests/support.h"

namespace {

using namespace render_meshes;
using Indices = std::vector<std::uint16_t>;

std::string save(const std::string& name, const Bytes& bytes) {
    const std::string path = testing_support::scratchPath(name);
    EXPECT_TRUE(testing_support::writeFile(path, bytes));
    return path;
}

bool load(SceneObject& object, const Bytes& bytes) {
    return object.loadLwo(save("object.lwo", bytes).c_str());
}

// Only regular files open, at once (a plain open of a FIFO waits for a writer),
// and a refusal says why, closes the file opened before and reaches the
// readers' reason. Whole blocks are read or fail; position queries keep the place.
TEST(FileStream, OpensRegularFilesOnlyAndReadsWholeBlocks) {
    FileStream stream;
    std::uint8_t bytes[5] = {};
    EXPECT_FALSE(stream.read(bytes, 1) || stream.seek(0) || stream.skip(1));  // nothing open
    std::vector<std::pair<std::string, std::string>> cases = {
        {testing_support::scratchPath("missing.bin"), "No such file or directory"},
        {testing_support::scratchDirectory(), "not a regular file"}};
#ifndef _WIN32
    const std::string fifo = testing_support::scratchPath("fifo.lwo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo, "not a regular file"});
#else
    cases.push_back({"NUL", "not a regular file"});
#endif
    ReadFailure why;
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(stream.open(save("first.bin", {1}).c_str(), "rb"));
        EXPECT_FALSE(stream.open(path.c_str(), "rb", &why));
        EXPECT_TRUE(stream.file == nullptr && stream.atEnd);
        EXPECT_STREQ(why.text, reason.c_str());
        SceneObject object;
        Image image;
        EXPECT_FALSE(object.loadLwo(path.c_str()) || readBmp(path.c_str(), &image));
        EXPECT_TRUE(object.failure.text == reason && image.failure.text == reason);
    }
    EXPECT_FALSE(stream.open(save("write.bin", {1}).c_str(), "r+b", &why));  // reading only
    EXPECT_STREQ(why.text, "Invalid argument");
    ASSERT_TRUE(stream.open(save("exact.bin", {10, 20, 30, 40, 50}).c_str(), "rb"));
    EXPECT_FALSE(stream.atEnd || stream.read(bytes, 0));  // a zero-byte read fails, not at the end
    ASSERT_TRUE(stream.read(bytes, 2) && stream.seek(4) && stream.skip(-2));
    ASSERT_TRUE(stream.fileSize() == 5 && stream.tell() == 2 && stream.read(bytes + 2, 3));
    EXPECT_EQ(Bytes(bytes, bytes + 5), (Bytes{10, 20, 30, 40, 50}));
    EXPECT_FALSE(stream.atEnd || stream.read(bytes, 1));  // one more byte hits the end
    EXPECT_TRUE(stream.atEnd);
}

const MeshData tetra = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                        {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
const MeshData box = cube(Vector3(), 1.0f);

// The cube among chunks of other kinds (of odd and zero size, before and after
// its own), with 1- and 2-vertex polygons among its faces.
Bytes cubeFile() {
    std::vector<Indices> polygons = box.faces;
    polygons.insert(polygons.begin() + 2, {3, 4});
    polygons.push_back({6});
    return form({chunk("SRFS", {'G', 'l', 0, 0}), pointsChunk(box.points), chunk("CRVS", {1, 2, 3}),
                 polygonsChunk(polygons), chunk("SURF", {'G', 'l', 0, 0, 'C', 'O', 'L', 'R', 0, 4}),
                 chunk("ZERO", {})});
}

std::vector<Indices> facesOf(const SceneObject& object) {
    std::vector<Indices> faces(std::size_t(object.faceCount));
    for (std::size_t f = 0; f < faces.size(); ++f) {
        for (std::int32_t k = 0; k < object.faces[f].vertexCount; ++k) {
            faces[f].push_back(std::uint16_t(object.faces[f].vertices[k] - object.points));
        }
    }
    return faces;
}

// Whatever a load left behind, every count matches its array and every face
// pointer points into the object, so clear, shade and the renderer are safe.
void expectConsistent(const SceneObject& o) {
    EXPECT_TRUE(o.pointCount >= 0 && o.faceCount >= 0);
    EXPECT_TRUE((o.pointCount == 0) == !o.points && (o.faceCount == 0) == !o.faces &&
                (o.edgeCount == 0) == !o.edges);
    for (const Face* f = o.faces; f != o.faces + o.faceCount; ++f) {
        ASSERT_GE(f->vertexCount, 0);
        EXPECT_TRUE((f->vertexCount == 0) == !f->vertices && !f->vertices == !f->edges);
        for (std::int32_t k = 0; k < f->vertexCount; ++k) {
            const Vertex* v = f->vertices[k];
            ASSERT_TRUE(v && v - o.points >= 0 && v - o.points < o.pointCount) << f - o.faces;
        }
    }
}

// Face 0 is the worked plane example, face 1 a slanted quad whose first three
// vertices alone count, face 2 has collinear first vertices and face 3 faces -x.
// Light along +x: only face 3 is lit (head-on); face 0 is edge-on, face 1 faces
// away and face 2 is degenerate. Nothing is clamped; alpha is the material's.
TEST(LoadLwo, PlanesCentreAndShading) {
    SceneObject object;
    ASSERT_TRUE(
        load(object, objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {2, 2, 2}},
                                 {{0, 1, 2}, {1, 2, 3, 4}, {0, 4, 5}, {0, 3, 2}}})));
    EXPECT_LT((object.center - Vector3(4, 4, 4) * (1 / 6.0f)).length(), 1e-6f);
    object.baseColor = Color(1, 0.5f, 2, 0.75f);
    object.shade(Vector3(1, 0, 0), Color(0.1f, 0.2f, 0.3f, 0.9f), Color(3, 3, 3, 3));
    const float t = 1 / std::sqrt(3.0f);
    const Vector3 normals[] = {{0, 0, 1}, {t, t, t}, {}, {-1, 0, 0}},
                  points[] = {{}, {1, 0, 0}, {}, {}};
    for (int f = 0; f < 4; ++f) {
        const Face& p = object.faces[f];
        EXPECT_LT((p.planeNormal - normals[f]).length() + (p.planePoint - points[f]).length() +
                      std::fabs(p.planeDistance - normals[f].dot(points[f])),
                  1e-6f)
            << f;
        EXPECT_EQ(std::vector<float>({p.color.r, p.color.g, p.color.b, p.color.a}),
                  f < 3 ? std::vector<float>({0.1f, 0.1f, 0.6f, 0.75f})
                        : std::vector<float>({3.1f, 1.6f, 6.6f, 0.75f}));
    }
}

// Only a convex object's front faces cover its outline once, which lets the
// fast backends carry tints down through its faces: a dented or bulging
// corner (faces no longer flat, points in front of a face) and a face
// without a plane make it not convex.
TEST(LoadLwo, ConvexOnlyWhenEveryFaceIsFlatWithNoPointInFrontOfIt) {
    SceneObject object;
    MeshData shape = cube(Vector3(), 1.0f);
    ASSERT_TRUE(load(object, objectFile(shape)));
    EXPECT_TRUE(object.convex);
    for (const float corner : {0.5f, 1.5f}) {
        shape.points[6] = Vector3(corner, corner, corner);
        ASSERT_TRUE(load(object, objectFile(shape)));
        EXPECT_FALSE(object.convex) << corner;
    }
    shape.points[6] = Vector3(1, 1, 1);
    shape.faces.push_back({0, 1, 1});
    ASSERT_TRUE(load(object, objectFile(shape)));
    EXPECT_FALSE(object.convex);
}

// Every point against every face's plane, as convexity was first decided: the
// reference the faster test must agree with.
bool convexByEveryPair(const SceneObject& o) {
    float extent = 0.0f;
    for (std::int32_t p = 0; p < o.pointCount; ++p) {
        const Vector3& v = o.points[p].position;
        extent = std::max({extent, std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    }
    const float tolerance = 1e-5f * (extent + 1.0f);
    for (std::int32_t f = 0; f < o.faceCount; ++f) {
        const Face& face = o.faces[f];
        const auto offset = [&face](const Vector3& p) {
            return p.dot(face.planeNormal) - face.planeDistance;
        };
        if (face.vertexCount < 3 || face.planeNormal.dot(face.planeNormal) < 0.5f) {
            return false;
        }
        for (std::int32_t p = 0; p < o.pointCount; ++p) {
            if (!(offset(o.points[p].position) <= tolerance)) {
                return false;
            }
        }
        for (std::int32_t i = 0; i < face.vertexCount; ++i) {
            if (!(offset(face.vertices[i]->position) >= -tolerance)) {
                return false;
            }
        }
    }
    return o.faceCount > 0;
}

// A closed sphere of triangles, `segments` round and `rings` down, each
// point moved out along its radius by bump(index) (none: 0).
MeshData sphere(int segments, int rings, const std::function<float(int)>& bump) {
    MeshData mesh;
    for (int r = 0; r <= rings; ++r) {
        for (int s = 0; s < (r == 0 || r == rings ? 1 : segments); ++s) {
            const double theta = 3.141592653589793 * r / rings;
            const double phi = 6.283185307179586 * s / segments;
            const float radius = 1.0f + bump(int(mesh.points.size()));
            mesh.points.push_back(Vector3(float(std::sin(theta) * std::cos(phi)),
                                          float(std::cos(theta)),
                                          float(std::sin(theta) * std::sin(phi))) *
                                  radius);
        }
    }
    const auto at = [segments](int r, int s) {
        return std::uint16_t(1 + (r - 1) * segments + s % segments);
    };
    const auto last = std::uint16_t(mesh.points.size() - 1);
    for (int s = 0; s < segments; ++s) {
        mesh.faces.push_back({0, at(1, s + 1), at(1, s)});
        for (int r = 1; r + 1 < rings; ++r) {
            mesh.faces.push_back({at(r, s), at(r, s + 1), at(r + 1, s + 1)});
            mesh.faces.push_back({at(r, s), at(r + 1, s + 1), at(r + 1, s)});
        }
        mesh.faces.push_back({last, at(rings - 1, s), at(rings - 1, s + 1)});
    }
    return mesh;
}

// The convexity test asks far fewer pairs than every point against every
// plane, and must decide as that does: on the shipped meshes, the fuzz corpus,
// spheres whose points are moved by about the tolerance (2e-5 here), alone or
// many at once, out (a bump) or in (a dent), a dished cap, and two shells.
TEST(LoadLwo, ConvexityAgreesWithEveryPointAgainstEveryPlane) {
    std::vector<Bytes> files;
    for (const char* folder : {"data", "fuzz/corpus/lwo"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(testing_support::sourcePath(folder))) {
            if (entry.path().extension() == ".lwo") {
                files.emplace_back();
                ASSERT_TRUE(testing_support::readFile(entry.path().string(), files.back()));
            }
        }
    }
    std::uint32_t seed = 7;
    const auto random = [&seed] {
        return float((seed = seed * 1664525u + 1013904223u) >> 8) / 16777216.0f;
    };
    for (const float size : {0.3f, 1.0f, 3.0f, 10.0f, -1.0f, -3.0f}) {
        for (const int one : {-1, 0, 40, 121}) {  // -1: every point
            files.push_back(objectFile(sphere(12, 11, [&](int i) {
                return (one < 0 || i == one) ? size * 2e-5f * (one < 0 ? random() : 1.0f) : 0.0f;
            })));
        }
    }
    // A cap cut flat, then dished in or out by about the tolerance at its
    // centre: each edge's fold is below the tolerance, the whole dish is not.
    for (const float depth : {0.0f, 2e-5f, 1e-4f, -1e-4f}) {
        MeshData dish = sphere(48, 47, [](int) { return 0.0f; });
        for (Vector3& p : dish.points) {
            p.y = p.y > 0.8f ? 0.8f - depth * (1.0f - (p.x * p.x + p.z * p.z) / 0.36f) : p.y;
        }
        files.push_back(objectFile(dish));
    }
    MeshData shells = sphere(16, 9, [](int) { return 0.0f; });
    const MeshData inner = sphere(8, 5, [](int) { return -0.5f; });
    for (std::vector<std::uint16_t> face : inner.faces) {
        for (std::uint16_t& index : face) {
            index = std::uint16_t(index + shells.points.size());
        }
        shells.faces.push_back(face);
    }
    shells.points.insert(shells.points.end(), inner.points.begin(), inner.points.end());
    files.push_back(objectFile(shells));
    int verdicts[2] = {0, 0};
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        SceneObject object;
        if (load(object, files[i])) {
            EXPECT_EQ(object.convex, convexByEveryPair(object));
            ++verdicts[object.convex];
        }
    }
    EXPECT_GT(verdicts[0], 10);
    EXPECT_GT(verdicts[1], 10);
}

// An edge table as indices (-1 for none): each edge's end points and faces,
// then the edge of every face side.
std::vector<long> tableOf(const SceneObject& o) {
    const auto at = [](const auto* p, const auto* base) { return p ? long(p - base) : -1L; };
    std::vector<long> table;
    for (const Edge* e = o.edges; e != o.edges + o.edgeCount; ++e) {
        table.insert(table.end(), {at(e->vertexA, o.points), at(e->vertexB, o.points),
                                   at(e->faceA, o.faces), at(e->faceB, o.faces)});
    }
    for (const Face* f = o.faces; f != o.faces + o.faceCount; ++f) {
        for (std::int32_t k = 0; k < f->vertexCount; ++k) {
            table.push_back(at(f->edges[k], o.edges));
        }
    }
    return table;
}

// The linker as first written, each side searching the edges found so far:
// its table, or none unless every edge joins exactly two sides.
std::vector<long> searchingLinker(const SceneObject& o) {
    std::vector<long> edges, sides;
    const std::vector<Indices> faces = facesOf(o);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        for (std::size_t k = 0, n = faces[f].size(); k < n; ++k) {
            const long a = faces[f][k], b = faces[f][(k + 1) % n];
            std::size_t e = 0;
            while (e < edges.size() && !(edges[e] == a && edges[e + 1] == b) &&
                   !(edges[e] == b && edges[e + 1] == a)) {
                e += 4;
            }
            if (e == edges.size()) {
                edges.insert(edges.end(), {a, b, long(f), -1});
            } else if (edges[e + 3] < 0) {
                edges[e + 3] = long(f);
            } else {
                return {};
            }
            sides.push_back(long(e / 4));
        }
    }
    if (edges.empty() || edges.size() != 2 * sides.size()) {
        return {};
    }
    edges.insert(edges.end(), sides.begin(), sides.end());
    return edges;
}

// Every file is loaded over a previous object. An accepted one replaces it
// with the expected faces, and its edges are linked as the searching linker
// links them, or refused with the reason given; a refused file says why and
// leaves a consistent object ("untouched: " when refused before the previous
// object is touched).
TEST(LoadLwo, AcceptsReplacingOrRefusesSayingWhyAndLinksAsTheSearchingLinker) {
    const Bytes points = pointsChunk(tetra.points);
    const std::int64_t pointsEnd = std::int64_t(points.size()) + 4;
    Indices fan(65535);  // the longest record a 16-bit count allows
    for (std::size_t k = 0; k < fan.size(); ++k) {
        fan[k] = std::uint16_t(k % 3);
    }
    const std::string foreign =
        "untouched: not an LWOB object (the file does not start with FORM....LWOB)";
    const std::string shared = " shares an edge that two other faces already share",
                      past = " chunk runs past the end of the ";
    struct Case {
        Bytes bytes;
        std::string reason;
        std::string links = "";           // why buildEdges refuses an accepted file
        std::vector<Indices> faces = {};  // of an accepted file, when given
    };
    std::vector<Case> cases = {
        {objectFile(tetra), "", "", tetra.faces},
        {cubeFile(), "", "", box.faces},  // short polygons dropped wherever they stand
        // Chunks past the FORM size are never read.
        {form({points, polygonsChunk(tetra.faces)}, pointsEnd), "", "the object has no faces"},
        {form({points, polygonsChunk({{0}, {1, 2}}), polygonsChunk(tetra.faces)}), "", "",
         tetra.faces},
        {form({pointsChunk({}), points, polygonsChunk(tetra.faces)}), "", "", tetra.faces},
        {objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {fan}}), "", "face 0" + shared},
        {objectFile({box.points, {box.faces.begin(), box.faces.end() - 1}}), "",
         "the mesh is not closed (face 3 has an edge no other face shares)"},
        // One face: its three sides count as one edge, and the second finds no room.
        {objectFile({tetra.points, {{0, 1, 2}}}), "",
         "the mesh is not closed (face 0 has an edge no other face shares)"},
        // Edges 0-1 and 1-3 meet three faces, 0-2 and 2-3 one: as many sides as a closed mesh.
        {objectFile({tetra.points, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 1}}}), "",
         "face 3" + shared},
        // A side from a point to itself, used by both faces.
        {objectFile({tetra.points, {{0, 0, 1, 2}, {2, 1, 0, 0}}}), "", ""},
        {form({points}, pointsEnd - 1), "PNTS" + past + "FORM"},
        {form({points, chunk("ZERO", {})}, pointsEnd + 4),
         "a chunk header runs past the end of the FORM"},
        {form({points}, 0xFFFFFFFFu), "a chunk header runs past the end of the file"},
        {form({points, points}), "a second PNTS chunk"},
        {form({chunk("PNTS", Bytes(13, 0))}), "PNTS chunk size 13 is not a multiple of 12"},
        {form({points, polygonsChunk(tetra.faces), polygonsChunk(tetra.faces)}),
         "a second POLS chunk"},
        {form({polygonsChunk(tetra.faces), points}), "face 0 uses point 0 of 0"},
        // Index 4 of 4 points, in the middle: no half-filled face may remain.
        {objectFile({tetra.points, {{0, 1, 2}, {0, 1, 2, 3, 4}, {1, 2, 3}}}),
         "face 1 uses point 4 of 4"},
        // The last record ends one byte into the next chunk.
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0}), chunk("ZERO", {})}),
         "a polygon runs past the end of the POLS chunk"},
        // Huge declared sizes must fail before anything that large is allocated.
        {form({chunk("PNTS", Bytes(12, 0), 0xFFFFFFF0u)}, 0xFFFFFFFCu), "PNTS" + past + "file"},
        // Unprintable bytes of the chunk's name show as '?', a space and '~' as they are.
        {form({chunk("\x7f R~", {1, 2, 3}, 0x7FFFFFF0u)}, 0xFFFFFFFCu), "? R~" + past + "file"},
        {chunk("FORX", {'L', 'W', 'O', 'B'}), foreign},
        {chunk("FORM", {'L', 'W', 'O', 'X'}), foreign},
        {form({}, 3), "untouched: FORM size 3 is too small"},
    };
    for (const char* name : {"base2", "crystal1", "crystal2", "crystal3"}) {
        cases.push_back({{}, "", "", {}});
        ASSERT_TRUE(testing_support::readFile(
            testing_support::sourcePath(std::string("data/") + name + ".lwo"), cases.back().bytes));
    }
    const Bytes full = cubeFile();
    for (std::size_t length = 0; length < full.size(); ++length) {
        cases.push_back(
            {Bytes(full.begin(), full.begin() + std::ptrdiff_t(length)),
             length < 12 ? "untouched: the file is too short for an LWOB header" : "?"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason + c.links + " (" + std::to_string(c.bytes.size()) + " bytes)");
        SceneObject object;
        ASSERT_TRUE(load(object, objectFile(tetra)) && object.buildEdges());
        const Vertex* before = object.points;
        probe::reset();
        EXPECT_EQ(load(object, c.bytes), c.reason.empty());
        EXPECT_LT(probe::largest, std::size_t(1) << 20);
        expectConsistent(object);
        const bool untouched = c.reason.rfind("untouched: ", 0) == 0;
        EXPECT_EQ(object.failure.text,
                  c.reason == "?" ? object.failure.text : c.reason.substr(untouched ? 11 : 0));
        EXPECT_NE(object.failure.text[0] == '\0', c.reason != "");
        EXPECT_EQ(untouched, object.points == before && object.edges);
        EXPECT_TRUE(!c.reason.empty() || c.faces.empty() || facesOf(object) == c.faces);
        // Whatever was left behind can be shaded and linked, twice (a rebuild
        // starts from scratch), into the same table as the searching linker's.
        object.shade(Vector3(0, -1, 0), Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0));
        const std::vector<long> table = searchingLinker(object);
        for (int build = 0; build < 2; ++build) {
            ASSERT_EQ(object.buildEdges(), !table.empty());
            EXPECT_TRUE(!c.reason.empty() || object.failure.text == c.links);
            EXPECT_TRUE(table.empty() || tableOf(object) == table);
            expectConsistent(object);
        }
    }
}

TEST(LoadLwo, AllocationFailureAtAnyPointIsAFailedLoadOrLinkSayingSo) {
    const std::string path = save("alloc.lwo", cubeFile());
    bool loaded = false;
    for (long allowance = 0; allowance < 100 && !loaded; ++allowance) {
        SceneObject object;
        probe::allowance = allowance;
        loaded = object.loadLwo(path.c_str());
        probe::reset();
        expectConsistent(object);
        EXPECT_TRUE(loaded ? object.faceCount == 6
                           : std::string(object.failure.text).rfind("no memory for ", 0) == 0)
            << object.failure.text;
    }
    // No memory for the edges: no table, and no face keeps a pointer into the old one.
    SceneObject object;
    ASSERT_TRUE(object.loadLwo(path.c_str()));
    for (long allowance : {0, 1}) {
        ASSERT_TRUE(object.buildEdges());
        probe::allowance = allowance;
        EXPECT_FALSE(object.buildEdges());
        probe::reset();
        EXPECT_EQ(tableOf(object), std::vector<long>(24, -1));
    }
}

// The byte at channel c of the pixel at (x, fileRow), as stored in the file.
std::uint8_t sample(std::uint32_t x, std::uint32_t fileRow, std::uint32_t c) {
    return std::uint8_t(x * 7 + fileRow * 31 + c * 101 + 1);
}

struct BmpSpec {
    std::int32_t width = 2, height = 2;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0, paletteEntries = 0, infoSize = 40;
    std::uint32_t dataOffset = 0;  // 0: right after the palette
    const char* signature = "BM";
};

// A BMP whose pixel bytes come from sample(), rows padded with 0xEE. Pictures of
// 1 MB or more get their headers only.
Bytes makeBmp(const BmpSpec& s) {
    const std::uint32_t rows = std::uint32_t(std::abs(std::int64_t(s.height)));
    const std::uint32_t pixelBytes = s.bitsPerPixel / 8u,
                        used = std::uint32_t(s.width) * pixelBytes;
    const std::uint32_t rowBytes = (used + 3u) & ~3u;
    const std::uint32_t offset =
        s.dataOffset ? s.dataOffset : 14 + s.infoSize + 4 * s.paletteEntries;
    Bytes out(s.signature, s.signature + 2);
    // Little-endian; planes (1) and depth share one word.
    for (std::uint32_t v :
         {offset + rowBytes * rows, 0u, offset, s.infoSize, std::uint32_t(s.width),
          std::uint32_t(s.height), 1u | std::uint32_t(s.bitsPerPixel) << 16, s.compression,
          rowBytes * rows, 2835u, 2835u, s.paletteEntries, 0u}) {
        out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                               std::uint8_t(v >> 24)});
    }
    out.resize(14 + s.infoSize, 0xAB);                    // a larger header's extra fields
    out.resize(out.size() + 4 * s.paletteEntries, 0x80);  // the palette goes unread
    for (std::uint32_t r = 0; std::uint64_t(used) * rows < (1u << 20) && r < rows; ++r) {
        for (std::uint32_t i = 0; i < rowBytes; ++i) {
            out.push_back(i < used ? sample(i / pixelBytes, r, i % pixelBytes) : 0xEE);
        }
    }
    return out;
}

// An image as one value: its sizes, whether it has pixels, then the pixels.
std::vector<std::uint32_t> stateOf(const Image& image) {
    std::vector<std::uint32_t> state = {image.width,    image.height,   image.bitsPerPixel,
                                        image.rowBytes, image.byteSize, image.pixels != nullptr};
    if (image.pixels) {
        state.insert(state.end(), image.pixels, image.pixels + image.byteSize);
    }
    return state;
}

const std::vector<std::uint32_t> emptyImage = {0, 0, 0, 0, 0, 0};

// What the reader makes of makeBmp(s): rows unpadded and top first, channels
// turned to red, green, blue(, alpha).
std::vector<std::uint32_t> pictureOf(const BmpSpec& s) {
    const std::uint32_t channels = s.bitsPerPixel / 8u,
                        order[4] = {channels == 1 ? 0u : 2u, 1, 0, 3};
    const std::uint32_t rows = std::uint32_t(std::abs(s.height)),
                        row = std::uint32_t(s.width) * channels;
    std::vector<std::uint32_t> state = {
        std::uint32_t(s.width), rows, s.bitsPerPixel, row, row * rows, 1};
    for (std::uint32_t y = 0; y < rows; ++y) {
        for (std::uint32_t i = 0; i < row; ++i) {
            state.push_back(
                sample(i / channels, s.height > 0 ? rows - 1 - y : y, order[i % channels]));
        }
    }
    return state;
}

TEST(Image, FailedAllocateLeavesItEmpty) {
    // Zero arguments, a pixel over 32 bits, a row or a picture of 2^32 bytes, one
    // of 2^64 (which wraps), a failing allocation (8x8x24).
    const std::uint32_t wrap = 0x80000000u;
    const std::uint32_t cases[][3] = {
        {0, 4, 8},         {4, 0, 8},        {4, 4, 0}, {1, 1, 33}, {0x40000000u, 1, 32},
        {65536, 65536, 8}, {wrap, wrap, 32}, {8, 8, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << "x" << c[1] << "x" << c[2]);
        Image image;
        ASSERT_TRUE(image.allocate(2, 2, 32));
        probe::reset();
        probe::allowance = c[0] == 8 ? 0 : -1;
        EXPECT_FALSE(image.allocate(c[0], c[1], c[2]));
        probe::allowance = -1;
        EXPECT_LT(probe::largest, std::size_t(1) << 20);
        EXPECT_EQ(stateOf(image), emptyImage);
    }
    EXPECT_TRUE(Image().allocate(0xFFFF, 1, 32));
}

// Padded rows, a palette to skip, top-down rows, alpha and a larger header to
// skip load; the rest is refused before anything large is allocated, with a
// piece of the reason given.
TEST(ReadBmp, LoadsTopRowFirstInRgbOrderOrRefusesBeforeAllocatingSayingWhy) {
    // clang-format off
    const std::pair<BmpSpec, const char*> cases[] = {
        {{256, 256, 24}, ""}, {{5, 3, 24}, ""}, {{6, 4, 8, 0, 256}, ""}, {{3, -4, 24}, ""},
        {{3, 2, 32, 0, 0, 124}, ""},
        {{2, 2, 1}, "with 1 bits"}, {{2, 2, 16}, "with 16 bits"}, {{2, 2, 48}, "with 48 bits"},
        {{2, 2, 32, 3}, "compression 3 "},
        {{2, 0}, "size 2 x 0 "}, {{0, 2}, "size 0 x 2 "}, {{-2, 2}, "size -2 x 2 "},
        {{1, INT32_MIN, 8}, "1 x 2147483648 is too large"}, {{0x40000000, 1, 32}, "too large"},
        {{0x10000, 0x10000, 32}, "65536 x 65536 is too large"},
        {{1, 1, 8, 0, 0, 40, 0xFFFFFFF0u}, "data starts past"},
        {{1000, 1000, 24}, "rows run past"}, {{4, 4, 8, 0, 0, 40, 60}, "rows run past"},
        {{2, 2, 24, 0, 0, 40, 0, "BN"}, "not a BMP picture (the file does not start with BM)"}};
    // clang-format on
    for (const auto& [spec, reason] : cases) {
        SCOPED_TRACE(reason);
        Image image;
        probe::reset();
        EXPECT_EQ(readBmp(save("image.bmp", makeBmp(spec)).c_str(), &image), !*reason);
        EXPECT_LT(probe::largest, std::size_t(1) << 20);
        EXPECT_NE(std::strstr(image.failure.text, reason), nullptr) << image.failure.text;
        EXPECT_EQ(stateOf(image), *reason ? emptyImage : pictureOf(spec));
    }
    EXPECT_FALSE(readBmp(save("null.bmp", makeBmp(BmpSpec())).c_str(), nullptr));
}

// A truncated file, or no memory for the pixels as stored, keeps the previous
// picture; no memory for the picture itself leaves the image empty (it was
// released for it).
TEST(ReadBmp, TruncationOrNoMemoryIsRefusedSayingWhy) {
    const BmpSpec spec = {3, 2, 8, 0, 4};
    const Bytes full = makeBmp(spec);
    Image image;
    ASSERT_TRUE(image.allocate(2, 2, 8));
    std::memset(image.pixels, 0x42, image.byteSize);
    const std::vector<std::uint32_t> previous = stateOf(image);
    for (std::size_t length = 0; length < full.size(); ++length) {
        const Bytes prefix(full.begin(), full.begin() + std::ptrdiff_t(length));
        EXPECT_FALSE(readBmp(save("prefix.bmp", prefix).c_str(), &image));
        EXPECT_NE(image.failure.text[0], '\0');
        ASSERT_EQ(stateOf(image), previous) << "length " << length;
    }
    const std::string path = save("alloc.bmp", full);
    probe::allowance = 0;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    EXPECT_STREQ(image.failure.text, "no memory for 8 bytes of pixels");
    EXPECT_EQ(stateOf(image), previous);
    probe::allowance = 1;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    probe::reset();
    EXPECT_STREQ(image.failure.text, "no memory for a 3 x 2 picture");
    EXPECT_EQ(stateOf(image), emptyImage);
    EXPECT_TRUE(readBmp(path.c_str(), &image));
    EXPECT_STREQ(image.failure.text, "");
    EXPECT_EQ(stateOf(image), pictureOf(spec));
}

}  // namespace
