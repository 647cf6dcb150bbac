#include "assets/scene_object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/allocation_probe.h"
#include "tests/render_meshes.h"

namespace {

using namespace render_meshes;
using Indices = std::vector<std::uint16_t>;

const MeshData tetra = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                        {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
const MeshData box = cube(Vector3(), 1.0f);

// The cube with surface chunks around it and 1- and 2-vertex polygons among its faces.
Bytes cubeFile() {
    std::vector<Indices> polygons = box.faces;
    polygons.insert(polygons.begin() + 2, {3, 4});
    polygons.push_back({6});
    return form({pointsChunk(box.points), chunk("SRFS", {'G', 'l', 0, 0}), polygonsChunk(polygons),
                 chunk("SURF", {'G', 'l', 0, 0, 'C', 'O', 'L', 'R', 0, 4, 1, 2, 3, 0})});
}

bool load(SceneObject& object, const Bytes& bytes, const std::string& name = "object.lwo") {
    const std::string path = testing_support::scratchPath(name);
    EXPECT_TRUE(testing_support::writeFile(path, bytes));
    return object.loadLwo(path.c_str());
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

// Face 0 is the worked plane example, face 1 a slanted quad whose first three
// vertices alone count, face 2 has collinear first vertices and face 3 faces -x.
TEST(LoadLwo, PlanesCentreAndShading) {
    SceneObject object;
    ASSERT_TRUE(
        load(object, objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {2, 2, 2}},
                                 {{0, 1, 2}, {1, 2, 3, 4}, {0, 4, 5}, {0, 3, 2}}})));
    EXPECT_LT((object.center - Vector3(4, 4, 4) * (1 / 6.0f)).length(), 1e-6f);
    const float t = 1.0f / std::sqrt(3.0f);
    const struct {
        Vector3 normal;
        float distance;
        Vector3 point;
    } planes[] = {{{0, 0, 1}, 0, {}}, {{t, t, t}, t, {1, 0, 0}}, {{}, 0, {}}, {{-1, 0, 0}, 0, {}}};
    for (int f = 0; f < 4; ++f) {
        const Face& face = object.faces[f];
        EXPECT_LT((face.planeNormal - planes[f].normal).length(), 1e-6f) << f;
        EXPECT_NEAR(face.planeDistance, planes[f].distance, 1e-6f) << f;
        EXPECT_LT((face.planePoint - planes[f].point).length(), 1e-6f) << f;
    }
    // Light along +x: only face 3 is lit (head-on); face 0 is edge-on, face 1 faces
    // away and face 2 is degenerate. Nothing is clamped; alpha is the material's.
    object.baseColor = Color(1, 0.5f, 2, 0.75f);
    object.shade(Vector3(1, 0, 0), Color(0.1f, 0.2f, 0.3f, 0.9f), Color(3, 3, 3, 3));
    for (int f = 0; f < 4; ++f) {
        const Color& c = object.faces[f].color;
        EXPECT_EQ(std::vector<float>({c.r, c.g, c.b, c.a}),
                  f < 3 ? std::vector<float>({0.1f, 0.1f, 0.6f, 0.75f})
                        : std::vector<float>({3.1f, 1.6f, 6.6f, 0.75f}));
    }
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
    Bytes formEndsEarly = form({points, polygonsChunk(tetra.faces)}, pointsEnd);
    formEndsEarly.push_back(0xEE);
    Indices fan(65535);  // the longest record a 16-bit count allows
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
        std::vector<Indices> faces = {};  // when given, or when the object is empty
    };
    std::vector<Case> cases = {
        {objectFile(tetra), "", "", tetra.faces},
        {cubeFile(), "", "", box.faces},  // short polygons dropped wherever they stand
        {form({}), "", empty},            // type only: an empty object
        {formEndsEarly, "", empty},       // chunks past the FORM size are never read
        {form({points, polygonsChunk({{0}, {1, 2}}), polygonsChunk(tetra.faces)}), "", "",
         tetra.faces},
        {form({pointsChunk({}), points, polygonsChunk(tetra.faces)}), "", "", tetra.faces},
        {form({chunk("SRFS", {'A', 0}), points, chunk("CRVS", {1, 2, 3}),
               polygonsChunk(tetra.faces), chunk("SURF", Bytes(40, 0x7F)), chunk("ZERO", {})}),
         "", "", tetra.faces},
        {objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {fan}}), "", "face 0" + shared},
        {objectFile({box.points, {box.faces.begin(), box.faces.end() - 1}}), "",
         open + "3 has an edge no other face shares)"},
        // Edges 0-1 and 1-3 meet three faces, 0-2 and 2-3 one: as many sides as a closed mesh.
        {objectFile({tetra.points, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 1}}}), "",
         "face 3" + shared},
        // Two triangles back to back on coincident but separate points.
        {objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                     {{0, 1, 2}, {3, 5, 4}}}),
         "", open + "1 has an edge no other face shares)"},
        // A side from a point to itself, used by both faces; and an odd side count.
        {objectFile({tetra.points, {{0, 0, 1, 2}, {2, 1, 0, 0}}}), "", ""},
        {objectFile({tetra.points, {{0, 1, 2}, {2, 1, 0}, {0, 1, 3}}}), "", "face 2" + shared},
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
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 0})}),
         "a polygon runs past the end of the POLS chunk"},
        // The last record ends one byte into the next chunk.
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0}), chunk("ZERO", {})}),
         "a polygon runs past the end of the POLS chunk"},
        // Huge declared sizes must fail before anything that large is allocated.
        {form({chunk("PNTS", Bytes(12, 0), 0xFFFFFFF0u)}, 0xFFFFFFFCu), "PNTS" + past + "file"},
        {form({chunk("S\xffRF", {1, 2, 3}, 0x7FFFFFF0u)}, 0xFFFFFFFCu), "S?RF" + past + "file"},
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
        ASSERT_TRUE(load(object, objectFile(tetra), "before.lwo"));
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
        EXPECT_TRUE(loaded ? object.faceCount == 6
                           : std::string(object.failure.text).rfind("no memory for ", 0) == 0)
            << object.failure.text;
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

}  // namespace
