#include "assets/scene_object.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/allocation_probe.h"
#include "tests/support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Polygon = std::vector<std::uint16_t>;

void put(Bytes& out, std::uint32_t value, int bytes) {  // big-endian
    while (bytes-- > 0) {
        out.push_back(std::uint8_t(value >> (8 * bytes)));
    }
}

// A chunk whose header claims claimedSize bytes (its real size unless given).
Bytes chunk(const char* id, const Bytes& data, std::int64_t claimedSize = -1) {
    Bytes out(id, id + 4);
    put(out, std::uint32_t(claimedSize >= 0 ? claimedSize : std::int64_t(data.size())), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes pointsChunk(const std::vector<Vector3>& points) {
    Bytes data;
    for (const Vector3& p : points) {
        for (float value : {p.x, p.y, p.z}) {
            std::uint32_t bits;
            put(data, (std::memcpy(&bits, &value, 4), bits), 4);
        }
    }
    return chunk("PNTS", data);
}

Bytes polygonsChunk(const std::vector<Polygon>& polygons) {
    Bytes data;
    for (const Polygon& polygon : polygons) {
        put(data, std::uint32_t(polygon.size()), 2);
        for (std::uint16_t index : polygon) {
            put(data, index, 2);
        }
        put(data, 1, 2);  // surface number
    }
    return chunk("POLS", data);
}

// An "LWOB" FORM; 64-bit sizes so 0xFFFFFFFF survives where long has 32 bits.
Bytes form(const std::vector<Bytes>& chunks, std::int64_t declaredSize = -1) {
    Bytes data = {'L', 'W', 'O', 'B'};
    for (const Bytes& c : chunks) {
        data.insert(data.end(), c.begin(), c.end());
    }
    return chunk("FORM", data, declaredSize);
}

const std::vector<Vector3> tetraPoints = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
const std::vector<Polygon> tetraFaces = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}};
const std::vector<Vector3> cubePoints = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                         {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const std::vector<Polygon> cubeFaces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                        {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};

const Bytes tetraFile = form({pointsChunk(tetraPoints), polygonsChunk(tetraFaces)});

// The cube with surface chunks around it and 1- and 2-vertex polygons among its faces.
Bytes cubeFile() {
    std::vector<Polygon> polygons = cubeFaces;
    polygons.insert(polygons.begin() + 2, {3, 4});
    polygons.push_back({6});
    return form({pointsChunk(cubePoints), chunk("SRFS", {'G', 'l', 0, 0}), polygonsChunk(polygons),
                 chunk("SURF", {'G', 'l', 0, 0, 'C', 'O', 'L', 'R', 0, 4, 1, 2, 3, 0})});
}

bool load(SceneObject& object, const Bytes& bytes, const std::string& name = "object.lwo") {
    const std::string path = testing_support::scratchPath(name);
    EXPECT_TRUE(testing_support::writeFile(path, bytes));
    return object.loadLwo(path.c_str());
}

int pointIndex(const SceneObject& object, const Vertex* v) {
    return int(v - object.points);
}

void expectNear(const Vector3& v, float x, float y, float z) {
    EXPECT_LT((v - Vector3(x, y, z)).length(), 1e-6f) << v.x << ", " << v.y << ", " << v.z;
}

std::string rgba(const Color& c) {
    return std::to_string(c.r) + " " + std::to_string(c.g) + " " + std::to_string(c.b) + " " +
           std::to_string(c.a);
}

std::vector<Polygon> facesOf(const SceneObject& object) {
    std::vector<Polygon> faces(std::size_t(object.faceCount));
    for (std::size_t f = 0; f < faces.size(); ++f) {
        for (std::int32_t k = 0; k < object.faces[f].vertexCount; ++k) {
            faces[f].push_back(std::uint16_t(pointIndex(object, object.faces[f].vertices[k])));
        }
    }
    return faces;
}

// Whatever a load left behind, every count matches its array and every face
// pointer points into the object, so clear, shade and the renderer are safe.
void expectConsistent(const SceneObject& object) {
    EXPECT_TRUE(object.pointCount >= 0 && object.faceCount >= 0);
    EXPECT_EQ(object.pointCount == 0, object.points == nullptr);
    EXPECT_EQ(object.faceCount == 0, object.faces == nullptr);
    EXPECT_EQ(object.edgeCount == 0, object.edges == nullptr);
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        ASSERT_GE(face.vertexCount, 0);
        EXPECT_EQ(face.vertexCount == 0, face.vertices == nullptr);
        EXPECT_EQ(face.vertices == nullptr, face.edges == nullptr);
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            const int index = face.vertices[k] ? pointIndex(object, face.vertices[k]) : -1;
            ASSERT_TRUE(index >= 0 && index < object.pointCount) << "face " << f;
        }
    }
}

// Face 0 is the worked plane example, face 1 a slanted quad, face 2 has collinear
// first vertices and face 3 faces -x.
Bytes planesFile() {
    return form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {2, 2, 2}}),
                 polygonsChunk({{0, 1, 2}, {1, 2, 3, 4}, {0, 4, 5}, {0, 3, 2}})});
}

TEST(LoadLwo, PointsFacesPlanesAndCentre) {
    SceneObject object;
    object.refractiveIndex = 1.5f;
    ASSERT_TRUE(load(object, planesFile()));
    expectConsistent(object);
    EXPECT_EQ(facesOf(object),
              (std::vector<Polygon>{{0, 1, 2}, {1, 2, 3, 4}, {0, 4, 5}, {0, 3, 2}}));
    expectNear(object.points[4].position, 1, 1, 1);
    expectNear(object.center, 4 / 6.0f, 4 / 6.0f, 4 / 6.0f);
    // Loading clears the base and reflection colours but keeps the refraction constants.
    EXPECT_EQ(rgba(object.baseColor), rgba(Color(1, 1, 1, 0.5f)));
    EXPECT_EQ(rgba(object.reflectColor), rgba(Color(1, 1, 1, 0.5f)));
    EXPECT_FLOAT_EQ(object.refractiveIndex, 1.5f);
    const Face* face = object.faces;
    expectNear(face[0].planeNormal, 0, 0, 1);
    EXPECT_EQ(face[0].planeDistance, 0.0f);
    expectNear(face[0].planePoint, 0, 0, 0);
    // Only the first three vertices count; the plane point is the first.
    const float third = 1.0f / std::sqrt(3.0f);
    expectNear(face[1].planeNormal, third, third, third);
    EXPECT_NEAR(face[1].planeDistance, third, 1e-6f);
    expectNear(face[1].planePoint, 1, 0, 0);
    expectNear(face[2].planeNormal, 0, 0, 0);
    EXPECT_EQ(face[2].planeDistance, 0.0f);
}

TEST(LoadLwo, AcceptedFilesReplaceThePreviousMesh) {
    const Bytes points = pointsChunk(tetraPoints);
    Bytes formEndsEarly =
        form({points, polygonsChunk(tetraFaces)}, std::int64_t(points.size() + 4));
    formEndsEarly.push_back(0xEE);
    Polygon fan(65535);  // the longest record a 16-bit count allows
    for (std::size_t k = 0; k < fan.size(); ++k) {
        fan[k] = std::uint16_t(k % 3);
    }
    const std::vector<std::pair<Bytes, std::vector<Polygon>>> cases = {
        {tetraFile, tetraFaces},
        {cubeFile(), cubeFaces},  // short polygons dropped wherever they stand
        {form({}), {}},           // type only: an empty object
        {formEndsEarly, {}},      // chunks past the FORM size are never read
        {form({points, polygonsChunk({{0}, {1, 2}}), polygonsChunk(tetraFaces)}), tetraFaces},
        {form({pointsChunk({}), points, polygonsChunk(tetraFaces)}), tetraFaces},
        {form({chunk("SRFS", {'A', 0}), points, chunk("CRVS", {1, 2, 3}), polygonsChunk(tetraFaces),
               chunk("SURF", Bytes(40, 0x7F)), chunk("ZERO", {})}),
         tetraFaces},
        {form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), polygonsChunk({fan})}), {fan}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        SceneObject object;
        ASSERT_TRUE(load(object, tetraFile, "before.lwo"));  // centre (0.25, 0.25, 0.25)
        ASSERT_TRUE(object.buildEdges());
        ASSERT_TRUE(load(object, cases[i].first));
        expectConsistent(object);
        EXPECT_EQ(facesOf(object), cases[i].second);
        EXPECT_EQ(object.edges, nullptr);
        if (object.pointCount == 0) {
            expectNear(object.center, 0, 0, 0);
            EXPECT_FALSE(object.buildEdges());
        }
    }
}

TEST(LoadLwo, RefusalsSayWhyAndLeaveAConsistentObject) {
    const Bytes points = pointsChunk(tetraPoints);
    const std::int64_t pointsEnd = std::int64_t(points.size()) + 4;
    Bytes notForm = cubeFile(), notLwob = cubeFile();
    notForm[0] = 'X';
    notLwob[11] = 'X';
    // File and reason; "untouched: " marks a refusal before the previous object is touched.
    std::vector<std::pair<Bytes, std::string>> cases = {
        {form({points}, pointsEnd - 1), "PNTS chunk runs past the end of the FORM"},
        {form({points, chunk("ZERO", {})}, pointsEnd + 4),
         "a chunk header runs past the end of the FORM"},
        {form({points}, pointsEnd + 8), "a chunk header runs past the end of the file"},
        {form({points, points}), "a second PNTS chunk"},
        {form({chunk("PNTS", Bytes(13, 0))}), "PNTS chunk size 13 is not a multiple of 12"},
        {form({points, polygonsChunk(tetraFaces), polygonsChunk(tetraFaces)}),
         "a second POLS chunk"},
        {form({polygonsChunk(tetraFaces), points}), "face 0 uses point 0 of 0"},
        // Index 4 of 4 points, in the middle: no half-filled face may remain.
        {form({points, polygonsChunk({{0, 1, 2}, {0, 1, 2, 3, 4}, {1, 2, 3}})}),
         "face 1 uses point 4 of 4"},
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 0})}),
         "a polygon runs past the end of the POLS chunk"},
        // The last record ends one byte into the next chunk.
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0}), chunk("ZERO", {})}),
         "a polygon runs past the end of the POLS chunk"},
        // Huge declared sizes must fail before anything that large is allocated.
        {form({chunk("PNTS", Bytes(12, 0), 0xFFFFFFF0u)}, 0xFFFFFFFCu),
         "PNTS chunk runs past the end of the file"},
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1}, 0xFFFFFF00u)}, 0xFFFFFFFCu),
         "POLS chunk runs past the end of the file"},
        {form({chunk("S\xffRF", {1, 2, 3}, 0x7FFFFFF0u)}, 0xFFFFFFFCu),
         "S?RF chunk runs past the end of the file"},
        {form({points}, 0xFFFFFFFFu), "a chunk header runs past the end of the file"},
        {notForm, "untouched: not an LWOB object (the file does not start with FORM....LWOB)"},
        {notLwob, "untouched: not an LWOB object (the file does not start with FORM....LWOB)"},
        {form({}, 3), "untouched: FORM size 3 is too small"},
    };
    const Bytes full = cubeFile();
    for (std::size_t length = 0; length < full.size(); ++length) {
        cases.emplace_back(
            Bytes(full.begin(), full.begin() + std::ptrdiff_t(length)),
            length < 12 ? "untouched: the file is too short for an LWOB header" : "");
    }
    for (const auto& [bytes, reason] : cases) {
        SCOPED_TRACE(reason + " (" + std::to_string(bytes.size()) + " bytes)");
        SceneObject object;
        ASSERT_TRUE(load(object, form({points}), "before.lwo"));
        const Vertex* before = object.points;
        allocation_probe::reset();
        EXPECT_FALSE(load(object, bytes));
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        expectConsistent(object);
        const bool untouched = reason.rfind("untouched: ", 0) == 0;
        EXPECT_EQ(object.failure.text, reason.empty() ? std::string(object.failure.text)
                                                      : reason.substr(untouched ? 11 : 0));
        EXPECT_NE(object.failure.text[0], '\0');
        EXPECT_TRUE(!untouched || (object.points == before && object.pointCount == 4));
        // Whatever was left behind can still be shaded, linked and cleared.
        object.shade(Vector3(0, -1, 0), Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0));
        object.buildEdges();
        expectConsistent(object);
    }
}

TEST(LoadLwo, AllocationFailureAtAnyPointIsAFailedLoad) {
    const std::string path = testing_support::scratchPath("alloc.lwo");
    ASSERT_TRUE(testing_support::writeFile(path, cubeFile()));
    bool loaded = false;
    for (long allowance = 0; allowance < 100 && !loaded; ++allowance) {
        SceneObject object;
        allocation_probe::reset();
        allocation_probe::nothrowAllowance = allowance;
        loaded = object.loadLwo(path.c_str());
        allocation_probe::reset();
        expectConsistent(object);
        EXPECT_TRUE(!loaded || object.faceCount == 6);
    }
    EXPECT_TRUE(loaded);
}

TEST(Shade, OnlyFacesTurnedToTheLightAddTheDiffuseTerm) {
    SceneObject object;
    ASSERT_TRUE(load(object, planesFile()));
    object.baseColor = Color(1, 0.5f, 2, 0.75f);
    // Light along +x: only face 3 is lit (head-on); face 0 is edge-on, face 1 faces
    // away and face 2 is degenerate. Nothing is clamped; alpha is the material's.
    object.shade(Vector3(1, 0, 0), Color(0.1f, 0.2f, 0.3f, 0.9f), Color(3, 3, 3, 3));
    for (std::int32_t f = 0; f < 4; ++f) {
        EXPECT_EQ(rgba(object.faces[f].color), f < 3 ? "0.100000 0.100000 0.600000 0.750000"
                                                     : "3.100000 1.600000 6.600000 0.750000");
    }
}

// An edge table as plain values: each edge's end points and faces as indices
// (-1 for none), then every face side's edge index (-1 for none).
using Table = std::vector<std::vector<long>>;

long indexOf(const void* p, const void* base, std::size_t size) {
    return p ? long((static_cast<const char*>(p) - static_cast<const char*>(base)) / long(size))
             : -1;
}

Table tableOf(const SceneObject& o) {
    Table table(2);
    for (std::int32_t e = 0; e < o.edgeCount; ++e) {
        const Edge& edge = o.edges[e];
        for (const Vertex* v : {edge.vertexA, edge.vertexB}) {
            table[0].push_back(indexOf(v, o.points, sizeof(Vertex)));
        }
        for (const Face* f : {edge.faceA, edge.faceB}) {
            table[0].push_back(indexOf(f, o.faces, sizeof(Face)));
        }
    }
    for (std::int32_t f = 0; f < o.faceCount; ++f) {
        for (std::int32_t k = 0; k < o.faces[f].vertexCount; ++k) {
            table[1].push_back(indexOf(o.faces[f].edges[k], o.edges, sizeof(Edge)));
        }
    }
    return table;
}

// The linker as first written, searching the edges found so far for every
// side; returns the table it leaves behind, success or not, and its result.
std::pair<Table, bool> searchingLinker(const SceneObject& o) {
    std::size_t total = 0;
    for (std::int32_t f = 0; f < o.faceCount; ++f) {
        total += std::size_t(o.faces[f].vertexCount);
    }
    std::vector<std::array<long, 4>> edges(total / 2, {-1, -1, -1, -1});
    std::vector<long> sides(total, -1);
    std::size_t found = 0, side = 0;
    bool ok = !edges.empty();
    for (std::int32_t f = 0; f < o.faceCount && ok; ++f) {
        const Face& face = o.faces[f];
        for (std::int32_t k = 0; k < face.vertexCount && ok; ++k, ++side) {
            const long a = pointIndex(o, face.vertices[k]);
            const long b = pointIndex(o, face.vertices[(k + 1) % face.vertexCount]);
            std::size_t e = 0;
            while (e < found && !(edges[e][0] == a && edges[e][1] == b) &&
                   !(edges[e][0] == b && edges[e][1] == a)) {
                ++e;
            }
            if (e == found && (ok = found < edges.size())) {
                edges[found++] = {a, b, -1, -1};
            }
            if (ok) {
                sides[side] = long(e);
                ok = edges[e][2] < 0 || edges[e][3] < 0;
                edges[e][edges[e][2] < 0 ? 2 : 3] = ok ? f : edges[e][3];
            }
        }
    }
    Table table(2);
    for (const auto& edge : edges) {
        table[0].insert(table[0].end(), edge.begin(), edge.end());
    }
    table[1] = sides;
    return {table, ok && found == edges.size()};
}

TEST(BuildEdges, SameTableAsTheSearchingLinkerAndAReasonOnRefusal) {
    std::vector<std::pair<Bytes, std::string>> cases = {
        {cubeFile(), ""},
        {tetraFile, ""},
        {form({pointsChunk(cubePoints), polygonsChunk({cubeFaces.begin(), cubeFaces.end() - 1})}),
         "the mesh is not closed (face 3 has an edge no other face shares)"},
        // Edges 0-1 and 1-3 meet three faces, 0-2 and 2-3 one: as many sides as a closed mesh.
        {form({pointsChunk(tetraPoints),
               polygonsChunk({{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 1}})}),
         "face 3 shares an edge that two other faces already share"},
        // Two triangles back to back on coincident but separate points.
        {form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
               polygonsChunk({{0, 1, 2}, {3, 5, 4}})}),
         "the mesh is not closed (face 1 has an edge no other face shares)"},
        // A side from a point to itself, used by both faces; and an odd side count.
        {form({pointsChunk(tetraPoints), polygonsChunk({{0, 0, 1, 2}, {2, 1, 0, 0}})}), ""},
        {form({pointsChunk(tetraPoints), polygonsChunk({{0, 1, 2}, {2, 1, 0}, {0, 1, 3}})}),
         "face 2 shares an edge that two other faces already share"},
        {form({pointsChunk(tetraPoints)}), "the object has no faces"},
    };
    for (const char* name : {"base2", "crystal1", "crystal2", "crystal3"}) {
        Bytes bytes;
        ASSERT_TRUE(testing_support::readFile(
            testing_support::sourcePath(std::string("data/") + name + ".lwo"), bytes));
        cases.emplace_back(bytes, "");
    }
    for (const auto& [bytes, reason] : cases) {
        SCOPED_TRACE(reason);
        SceneObject object;
        ASSERT_TRUE(load(object, bytes));
        const bool expected = searchingLinker(object).second;
        EXPECT_EQ(object.buildEdges(), reason.empty());
        EXPECT_EQ(expected, reason.empty());
        EXPECT_EQ(object.failure.text, reason);
        if (object.faces) {
            EXPECT_EQ(tableOf(object), searchingLinker(object).first);
            ASSERT_EQ(object.buildEdges(), expected);  // a rebuild starts from scratch
            EXPECT_EQ(tableOf(object), searchingLinker(object).first);
        }
    }
    // No memory: no table, and no face keeps a pointer into the old one.
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    ASSERT_TRUE(object.buildEdges());
    for (long allowance : {0, 1}) {
        allocation_probe::nothrowAllowance = allowance;
        EXPECT_FALSE(object.buildEdges());
        allocation_probe::reset();
        EXPECT_EQ(object.edges, nullptr);
        EXPECT_EQ(tableOf(object)[1], std::vector<long>(24, -1));
    }
}

}  // namespace
