#include "assets/scene_object.h"

#include <gtest/gtest.h>

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

Bytes mesh(const std::vector<Vector3>& points, const std::vector<Polygon>& polygons) {
    return form({pointsChunk(points), polygonsChunk(polygons)});
}

const Bytes tetraFile = mesh(tetraPoints, tetraFaces);

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
            faces[f].push_back(std::uint16_t(object.faces[f].vertices[k] - object.points));
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
            const int index = face.vertices[k] ? int(face.vertices[k] - object.points) : -1;
            ASSERT_TRUE(index >= 0 && index < object.pointCount) << "face " << f;
        }
    }
}

// Face 0 is the worked plane example, face 1 a slanted quad, face 2 has collinear
// first vertices and face 3 faces -x.
const Bytes planesFile = mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {2, 2, 2}},
                              {{0, 1, 2}, {1, 2, 3, 4}, {0, 4, 5}, {0, 3, 2}});

TEST(LoadLwo, PointsFacesPlanesAndCentre) {
    SceneObject object;
    object.refractiveIndex = 1.5f;
    ASSERT_TRUE(load(object, planesFile));
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

// An edge table as indices (-1 for none): each edge's end points and faces,
// then the edge of every face side.
std::vector<long> tableOf(const SceneObject& o) {
    const auto at = [](const void* p, const void* base, long size) {
        return p ? long(static_cast<const char*>(p) - static_cast<const char*>(base)) / size : -1L;
    };
    std::vector<long> table;
    for (const Edge* e = o.edges; e != o.edges + o.edgeCount; ++e) {
        table.insert(
            table.end(),
            {at(e->vertexA, o.points, sizeof(Vertex)), at(e->vertexB, o.points, sizeof(Vertex)),
             at(e->faceA, o.faces, sizeof(Face)), at(e->faceB, o.faces, sizeof(Face))});
    }
    for (const Face* f = o.faces; f != o.faces + o.faceCount; ++f) {
        for (std::int32_t k = 0; k < f->vertexCount; ++k) {
            table.push_back(at(f->edges[k], o.edges, sizeof(Edge)));
        }
    }
    return table;
}

// The linker as first written, each side searching the edges found so far:
// the table it leaves behind, success or not, and its result.
std::pair<std::vector<long>, bool> searchingLinker(const SceneObject& o) {
    std::vector<long> ends;  // two per side
    for (const Polygon& face : facesOf(o)) {
        for (std::size_t k = 0; k < face.size(); ++k) {
            ends.insert(ends.end(), {face[k], face[(k + 1) % face.size()]});
        }
    }
    const std::size_t sides = ends.size() / 2;
    std::vector<long> edges(sides / 2 * 4, -1), table(sides, -1);
    std::size_t found = 0, side = 0;
    bool ok = !edges.empty();
    for (std::int32_t f = 0; f < o.faceCount && ok; ++f) {
        for (std::int32_t k = 0; k < o.faces[f].vertexCount && ok; ++k, ++side) {
            const long a = ends[2 * side], b = ends[2 * side + 1];
            std::size_t e = 0;
            while (e < found && !(edges[4 * e] == a && edges[4 * e + 1] == b) &&
                   !(edges[4 * e] == b && edges[4 * e + 1] == a)) {
                ++e;
            }
            if (e == found && (ok = 4 * found < edges.size())) {
                edges[4 * e] = a;
                edges[4 * e + 1] = b;
                ++found;
            }
            if (ok) {
                table[side] = long(e);
                ok = edges[4 * e + 3] < 0;
                edges[4 * e + (edges[4 * e + 2] < 0 ? 2 : 3)] = ok ? f : edges[4 * e + 3];
            }
        }
    }
    ok = ok && 4 * found == edges.size();
    edges.insert(edges.end(), table.begin(), table.end());
    return {edges, ok};
}

// Every file is loaded over a previous object. An accepted one replaces it
// with the expected faces, and its edges are linked as the searching linker
// links them, or refused with the reason given; a refused file says why and
// leaves a consistent object ("untouched: " when refused before the previous
// object is touched).
TEST(LoadLwo, AcceptsReplacingOrRefusesSayingWhyAndLinksAsTheSearchingLinker) {
    const Bytes points = pointsChunk(tetraPoints);
    const std::int64_t pointsEnd = std::int64_t(points.size()) + 4;
    Bytes formEndsEarly = form({points, polygonsChunk(tetraFaces)}, pointsEnd);
    formEndsEarly.push_back(0xEE);
    Polygon fan(65535);  // the longest record a 16-bit count allows
    for (std::size_t k = 0; k < fan.size(); ++k) {
        fan[k] = std::uint16_t(k % 3);
    }
    Bytes notForm = cubeFile(), notLwob = cubeFile();
    notForm[0] = 'X';
    notLwob[11] = 'X';
    const std::string foreign =
        "untouched: not an LWOB object (the file does not start with FORM....LWOB)";
    const std::string empty = "the object has no faces",
                      shared = " shares an edge that two other faces already share";
    const std::string open = "the mesh is not closed (face ",
                      past = " chunk runs past the end of the ";
    struct Case {
        Bytes bytes;
        std::string reason;
        std::string links = "";           // why buildEdges refuses an accepted file
        std::vector<Polygon> faces = {};  // when given, or when the object is empty
    };
    std::vector<Case> cases = {
        {tetraFile, "", "", tetraFaces},
        {cubeFile(), "", "", cubeFaces},  // short polygons dropped wherever they stand
        {form({}), "", empty},            // type only: an empty object
        {formEndsEarly, "", empty},       // chunks past the FORM size are never read
        {form({points, polygonsChunk({{0}, {1, 2}}), polygonsChunk(tetraFaces)}), "", "",
         tetraFaces},
        {form({pointsChunk({}), points, polygonsChunk(tetraFaces)}), "", "", tetraFaces},
        {form({chunk("SRFS", {'A', 0}), points, chunk("CRVS", {1, 2, 3}), polygonsChunk(tetraFaces),
               chunk("SURF", Bytes(40, 0x7F)), chunk("ZERO", {})}),
         "", "", tetraFaces},
        {mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {fan}), "", "face 0" + shared},
        {mesh(cubePoints, {cubeFaces.begin(), cubeFaces.end() - 1}), "",
         open + "3 has an edge no other face shares)"},
        // Edges 0-1 and 1-3 meet three faces, 0-2 and 2-3 one: as many sides as a closed mesh.
        {mesh(tetraPoints, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 1}}), "", "face 3" + shared},
        // Two triangles back to back on coincident but separate points.
        {mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
              {{0, 1, 2}, {3, 5, 4}}),
         "", open + "1 has an edge no other face shares)"},
        // A side from a point to itself, used by both faces; and an odd side count.
        {mesh(tetraPoints, {{0, 0, 1, 2}, {2, 1, 0, 0}}), "", ""},
        {mesh(tetraPoints, {{0, 1, 2}, {2, 1, 0}, {0, 1, 3}}), "", "face 2" + shared},
        {form({points}, pointsEnd - 1), "PNTS" + past + "FORM"},
        {form({points, chunk("ZERO", {})}, pointsEnd + 4),
         "a chunk header runs past the end of the FORM"},
        {form({points}, pointsEnd + 8), "a chunk header runs past the end of the file"},
        {form({points, points}), "a second PNTS chunk"},
        {form({chunk("PNTS", Bytes(13, 0))}), "PNTS chunk size 13 is not a multiple of 12"},
        {form({points, polygonsChunk(tetraFaces), polygonsChunk(tetraFaces)}),
         "a second POLS chunk"},
        {form({polygonsChunk(tetraFaces), points}), "face 0 uses point 0 of 0"},
        // Index 4 of 4 points, in the middle: no half-filled face may remain.
        {mesh(tetraPoints, {{0, 1, 2}, {0, 1, 2, 3, 4}, {1, 2, 3}}), "face 1 uses point 4 of 4"},
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 0})}),
         "a polygon runs past the end of the POLS chunk"},
        // The last record ends one byte into the next chunk.
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0}), chunk("ZERO", {})}),
         "a polygon runs past the end of the POLS chunk"},
        // Huge declared sizes must fail before anything that large is allocated.
        {form({chunk("PNTS", Bytes(12, 0), 0xFFFFFFF0u)}, 0xFFFFFFFCu), "PNTS" + past + "file"},
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1}, 0xFFFFFF00u)}, 0xFFFFFFFCu),
         "POLS" + past + "file"},
        {form({chunk("S\xffRF", {1, 2, 3}, 0x7FFFFFF0u)}, 0xFFFFFFFCu), "S?RF" + past + "file"},
        {form({points}, 0xFFFFFFFFu), "a chunk header runs past the end of the file"},
        {notForm, foreign},
        {notLwob, foreign},
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
        ASSERT_TRUE(load(object, tetraFile, "before.lwo"));
        ASSERT_TRUE(object.buildEdges());
        const Vertex* before = object.points;
        allocation_probe::reset();
        EXPECT_EQ(load(object, c.bytes), c.reason.empty());
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        expectConsistent(object);
        const bool untouched = c.reason.rfind("untouched: ", 0) == 0;
        EXPECT_EQ(object.failure.text,
                  c.reason == "?" ? object.failure.text : c.reason.substr(untouched ? 11 : 0));
        EXPECT_NE(object.failure.text[0] == '\0', c.reason != "");
        EXPECT_EQ(untouched, object.points == before && object.edges);
        EXPECT_TRUE(!c.reason.empty() || (c.faces.empty() && c.links != empty) ||
                    facesOf(object) == c.faces);
        // Whatever was left behind can be shaded and linked, twice (a rebuild
        // starts from scratch), into the same table as the searching linker's.
        object.shade(Vector3(0, -1, 0), Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0));
        const auto [table, closed] = searchingLinker(object);
        for (int build = 0; build < 2; ++build) {
            EXPECT_EQ(object.buildEdges(), closed);
            EXPECT_TRUE(!c.reason.empty() || object.failure.text == c.links);
            EXPECT_EQ(tableOf(object), object.faces ? table : std::vector<long>());
            expectConsistent(object);
        }
    }
}

TEST(LoadLwo, AllocationFailureAtAnyPointIsAFailedLoadOrLink) {
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
    // No memory for the edges: no table, and no face keeps a pointer into the old one.
    SceneObject object;
    ASSERT_TRUE(object.loadLwo(path.c_str()));
    for (long allowance : {0, 1}) {
        ASSERT_TRUE(object.buildEdges());
        allocation_probe::nothrowAllowance = allowance;
        EXPECT_FALSE(object.buildEdges());
        allocation_probe::reset();
        EXPECT_EQ(tableOf(object), std::vector<long>(24, -1));
    }
}

TEST(Shade, OnlyFacesTurnedToTheLightAddTheDiffuseTerm) {
    SceneObject object;
    ASSERT_TRUE(load(object, planesFile));
    object.baseColor = Color(1, 0.5f, 2, 0.75f);
    // Light along +x: only face 3 is lit (head-on); face 0 is edge-on, face 1 faces
    // away and face 2 is degenerate. Nothing is clamped; alpha is the material's.
    object.shade(Vector3(1, 0, 0), Color(0.1f, 0.2f, 0.3f, 0.9f), Color(3, 3, 3, 3));
    for (std::int32_t f = 0; f < 4; ++f) {
        EXPECT_EQ(rgba(object.faces[f].color), f < 3 ? "0.100000 0.100000 0.600000 0.750000"
                                                     : "3.100000 1.600000 6.600000 0.750000");
    }
}

}  // namespace
