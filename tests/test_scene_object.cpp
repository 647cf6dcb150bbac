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

TEST(LoadLwo, RefusalsLeaveAConsistentObject) {
    const Bytes points = pointsChunk(tetraPoints);
    const std::int64_t pointsEnd = std::int64_t(points.size()) + 4;
    std::vector<std::pair<std::string, Bytes>> cases = {
        {"chunk_past_form", form({points}, pointsEnd - 1)},
        {"header_past_form", form({points, chunk("ZERO", {})}, pointsEnd + 4)},
        {"second_points", form({points, points})},
        {"points_not_12", form({chunk("PNTS", Bytes(13, 0))})},
        {"second_polygons", form({points, polygonsChunk(tetraFaces), polygonsChunk(tetraFaces)})},
        {"polygons_before_points", form({polygonsChunk(tetraFaces), points})},
        // Index 4 of 4 points, in the middle: no half-filled face may remain.
        {"index_too_large", form({points, polygonsChunk({{0, 1, 2}, {0, 1, 2, 3, 4}, {1, 2, 3}})})},
        {"record_past_chunk",
         form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 0})})},
        // The last record ends one byte into the next chunk.
        {"record_over_chunk_end",
         form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0}), chunk("ZERO", {})})},
        // Huge declared sizes must fail before anything that large is allocated.
        {"huge_points", form({chunk("PNTS", Bytes(12, 0), 0xFFFFFFF0u)}, 0xFFFFFFFCu)},
        {"huge_polygons",
         form({points, chunk("POLS", {0, 3, 0, 0, 0, 1}, 0xFFFFFF00u)}, 0xFFFFFFFCu)},
        {"huge_other", form({chunk("SURF", {1, 2, 3}, 0x7FFFFFF0u)}, 0xFFFFFFFCu)},
        {"huge_form", form({points}, 0xFFFFFFFFu)},
        // Refused before the previous object is touched:
        {"untouched_not_form", cubeFile()},
        {"untouched_not_lwob", cubeFile()},
        {"untouched_form_size_3", form({}, 3)},
    };
    cases[cases.size() - 3].second[0] = 'X';
    cases[cases.size() - 2].second[11] = 'X';
    const Bytes full = cubeFile();
    for (std::size_t length = 0; length < full.size(); ++length) {
        cases.emplace_back((length < 12 ? "untouched_" : "") + std::to_string(length),
                           Bytes(full.begin(), full.begin() + std::ptrdiff_t(length)));
    }
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        SceneObject object;
        ASSERT_TRUE(load(object, form({points}), "before.lwo"));
        const Vertex* before = object.points;
        allocation_probe::reset();
        EXPECT_FALSE(load(object, bytes));
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        expectConsistent(object);
        EXPECT_TRUE(name.rfind("untouched", 0) != 0 ||
                    (object.points == before && object.pointCount == 4));
        // Whatever was left behind can still be shaded, linked and cleared.
        object.shade(Vector3(0, -1, 0), Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0));
        object.buildEdges();
        expectConsistent(object);
    }
    SceneObject object;
    EXPECT_FALSE(object.loadLwo(testing_support::scratchPath("missing.lwo").c_str()));
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

TEST(BuildEdges, ClosedCubeLinksEveryEdgeToTwoFaces) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    ASSERT_TRUE(object.buildEdges());
    ASSERT_TRUE(object.buildEdges());  // a rebuild must not leave pointers into the old table
    ASSERT_EQ(object.edgeCount, 12);
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            const Edge* edge = face.edges[k];
            ASSERT_TRUE(edge >= object.edges && edge < object.edges + 12);
            const Vertex* from = face.vertices[k];
            const Vertex* to = face.vertices[(k + 1) % face.vertexCount];
            // faceA walks its edge from vertexA to vertexB, faceB (another face) the other way;
            // the first face's sides come first.
            EXPECT_TRUE(edge->faceA == &face
                            ? edge->vertexA == from && edge->vertexB == to && edge->faceB &&
                                  edge->faceB != &face
                            : edge->faceB == &face && edge->vertexA == to && edge->vertexB == from);
            EXPECT_TRUE(f != 0 || edge == &object.edges[k]);
        }
    }
    allocation_probe::nothrowAllowance = 0;
    EXPECT_FALSE(object.buildEdges());
    allocation_probe::reset();
    EXPECT_EQ(object.edges, nullptr);
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        for (std::int32_t k = 0; k < object.faces[f].vertexCount; ++k) {
            EXPECT_EQ(object.faces[f].edges[k], nullptr);
        }
    }
}

TEST(BuildEdges, OpenOrOverSharedMeshesAreRefused) {
    const std::pair<std::string, Bytes> cases[] = {
        {"open_cube",
         form({pointsChunk(cubePoints), polygonsChunk({cubeFaces.begin(), cubeFaces.end() - 1})})},
        // Edges 0-1 and 1-3 meet three faces, 0-2 and 2-3 one: as many sides as a closed mesh.
        {"shared_by_three", form({pointsChunk(tetraPoints),
                                  polygonsChunk({{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 1}})})},
        // Two triangles back to back on coincident but separate points.
        {"split_points",
         form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
               polygonsChunk({{0, 1, 2}, {3, 5, 4}})})},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        SceneObject object;
        ASSERT_TRUE(load(object, bytes));
        EXPECT_FALSE(object.buildEdges());
        expectConsistent(object);
    }
}

}  // namespace
