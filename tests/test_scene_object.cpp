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

using testing_support::scratchPath;
using testing_support::writeFile;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Polygon = std::vector<std::uint16_t>;

// Big-endian byte building for object files.
void putU16(Bytes& out, std::uint32_t value) {
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

void putU32(Bytes& out, std::uint32_t value) {
    putU16(out, value >> 16);
    putU16(out, value & 0xFFFF);
}

void putId(Bytes& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

void putFloat(Bytes& out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    putU32(out, bits);
}

Bytes chunk(const char* id, const Bytes& data) {
    Bytes out;
    putId(out, id);
    putU32(out, std::uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// A chunk header that claims size bytes, followed by whatever data is given.
Bytes chunkClaiming(const char* id, std::uint32_t size, const Bytes& data) {
    Bytes out;
    putId(out, id);
    putU32(out, size);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes pointsChunk(const std::vector<Vector3>& points) {
    Bytes data;
    for (const Vector3& p : points) {
        putFloat(data, p.x);
        putFloat(data, p.y);
        putFloat(data, p.z);
    }
    return chunk("PNTS", data);
}

Bytes polygonsChunk(const std::vector<Polygon>& polygons) {
    Bytes data;
    for (const Polygon& polygon : polygons) {
        putU16(data, std::uint32_t(polygon.size()));
        for (std::uint16_t index : polygon) {
            putU16(data, index);
        }
        putU16(data, 1);  // surface number
    }
    return chunk("POLS", data);
}

// "FORM", its size (the chunks plus the 4-byte type unless given), "LWOB", chunks.
// The size is 64-bit so sizes up to 0xFFFFFFFF survive where long has 32 bits.
Bytes form(const std::vector<Bytes>& chunks, std::int64_t declaredSize = -1) {
    Bytes body;
    for (const Bytes& c : chunks) {
        body.insert(body.end(), c.begin(), c.end());
    }
    Bytes out;
    putId(out, "FORM");
    putU32(out, declaredSize >= 0 ? std::uint32_t(declaredSize) : std::uint32_t(body.size() + 4));
    putId(out, "LWOB");
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

const std::vector<Vector3> tetraPoints = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
// Outward winding does not matter to the loader; these faces close the mesh.
const std::vector<Polygon> tetraFaces = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}};

const std::vector<Vector3> cubePoints = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                         {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const std::vector<Polygon> cubeFaces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                        {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};

Bytes cubeFile() {
    return form(
        {pointsChunk(cubePoints), chunk("SRFS", {'G', 'l', 'a', 's', 's', 0}),
         polygonsChunk({{0, 3, 2, 1},
                        {4, 5, 6, 7},
                        {3, 4},
                        {0, 1, 5, 4},
                        {2, 3, 7, 6},
                        {1, 2, 6, 5},
                        {0, 4, 7, 3},
                        {6}}),
         chunk("SURF", {'G', 'l', 'a', 's', 's', 0, 'C', 'O', 'L', 'R', 0, 4, 1, 2, 3, 0})});
}

std::string save(const std::string& name, const Bytes& bytes) {
    const std::string path = scratchPath(name);
    EXPECT_TRUE(writeFile(path, bytes));
    return path;
}

bool load(SceneObject& object, const Bytes& bytes, const std::string& name = "object.lwo") {
    return object.loadLwo(save(name, bytes).c_str());
}

int pointIndex(const SceneObject& object, const Vertex* vertex) {
    return int(vertex - object.points);
}

void expectNear(const Vector3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

void expectColor(const Color& c, float r, float g, float b, float a) {
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
    EXPECT_FLOAT_EQ(c.a, a);
}

// Whatever a load left behind, every count matches its array and every face
// pointer points into the object, so clear, shade and the renderer are safe.
void expectConsistent(const SceneObject& object) {
    EXPECT_EQ(object.pointCount == 0, object.points == nullptr);
    EXPECT_EQ(object.faceCount == 0, object.faces == nullptr);
    EXPECT_EQ(object.edgeCount == 0, object.edges == nullptr);
    EXPECT_GE(object.pointCount, 0);
    EXPECT_GE(object.faceCount, 0);
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        ASSERT_GE(face.vertexCount, 0);
        EXPECT_EQ(face.vertexCount == 0, face.vertices == nullptr);
        EXPECT_EQ(face.vertexCount == 0, face.edges == nullptr);
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            ASSERT_NE(face.vertices[k], nullptr);
            EXPECT_GE(pointIndex(object, face.vertices[k]), 0);
            EXPECT_LT(pointIndex(object, face.vertices[k]), object.pointCount);
        }
    }
}

void expectClearedColors(const SceneObject& object) {
    expectColor(object.baseColor, 1, 1, 1, 0.5f);
    expectColor(object.reflectColor, 1, 1, 1, 0.5f);
}

std::vector<std::pair<int, int>> edgeIndexPairs(const SceneObject& object) {
    std::vector<std::pair<int, int>> pairs;
    for (std::int32_t e = 0; e < object.edgeCount; ++e) {
        pairs.emplace_back(pointIndex(object, object.edges[e].vertexA),
                           pointIndex(object, object.edges[e].vertexB));
    }
    return pairs;
}

// --- Construction and clear ---------------------------------------------------

TEST(SceneObject, ConstructorAndClearSetTheirOwnColours) {
    SceneObject object;
    EXPECT_EQ(object.pointCount, 0);
    EXPECT_EQ(object.points, nullptr);
    expectColor(object.baseColor, 0.5f, 1, 1, 0.25f);
    expectColor(object.reflectColor, 1, 1, 1, 0.4f);
    expectColor(object.refractColor, 1, 1, 1, 0.35f);
    EXPECT_FLOAT_EQ(object.refractiveIndex, 1.33f);

    object.refractColor = Color(0.1f, 0.2f, 0.3f, 0.4f);
    object.refractiveIndex = 2.0f;
    object.clear();
    object.clear();
    expectClearedColors(object);
    expectColor(object.refractColor, 0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_FLOAT_EQ(object.refractiveIndex, 2.0f);
    expectConsistent(object);
}

TEST(SceneObject, FaceResetFreesArraysAndRestoresDefaults) {
    Face face;
    face.vertexCount = 3;
    face.vertices = new Vertex*[3]();
    face.edges = new Edge*[3]();
    face.planeNormal = Vector3(0, 0, 1);
    face.planeDistance = 4;
    face.color = Color(0, 0, 0, 0);
    face.frontFacing = 1;
    face.reset();
    expectNear(face.planeNormal, 1, 0, 0);
    EXPECT_EQ(face.planeDistance, 0.0f);
    EXPECT_EQ(face.vertexCount, 0);
    EXPECT_EQ(face.vertices, nullptr);
    EXPECT_EQ(face.edges, nullptr);
    expectColor(face.color, 1, 1, 1, 1);
    EXPECT_EQ(face.frontFacing, 0);
}

// --- Loading ------------------------------------------------------------------

TEST(LoadLwo, TetrahedronLoadsPointsFacesPlanesAndCentre) {
    SceneObject object;
    object.refractiveIndex = 1.5f;
    ASSERT_TRUE(load(object, form({pointsChunk(tetraPoints), polygonsChunk(tetraFaces)})));
    expectConsistent(object);
    ASSERT_EQ(object.pointCount, 4);
    ASSERT_EQ(object.faceCount, 4);
    EXPECT_EQ(object.edgeCount, 0);
    expectNear(object.points[3].position, 0, 0, 1);
    for (std::int32_t i = 0; i < object.pointCount; ++i) {
        EXPECT_EQ(object.points[i].projected, 0u);
    }
    expectNear(object.center, 0.25f, 0.25f, 0.25f);
    expectClearedColors(object);
    EXPECT_FLOAT_EQ(object.refractiveIndex, 1.5f);

    for (std::int32_t f = 0; f < 4; ++f) {
        const Face& face = object.faces[f];
        ASSERT_EQ(face.vertexCount, 3);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(face.vertices[k], &object.points[tetraFaces[f][k]]);
        }
        const Vector3 p0 = face.vertices[0]->position;
        expectNear(face.planePoint, p0.x, p0.y, p0.z);
        EXPECT_NEAR(face.planeNormal.length(), 1.0f, 1e-6f);
        // Every vertex of the face lies on its plane.
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(face.planeNormal.dot(face.vertices[k]->position), face.planeDistance,
                        1e-6f);
        }
        expectColor(face.color, 1, 1, 1, 1);
    }
    // Face 2 is the slanted one: (1,0,0), (0,1,0), (0,0,1).
    const float third = 1.0f / std::sqrt(3.0f);
    expectNear(object.faces[2].planeNormal, third, third, third);
    EXPECT_NEAR(object.faces[2].planeDistance, third, 1e-6f);
}

TEST(LoadLwo, PlaneFollowsTheFirstThreeVertices) {
    SceneObject object;
    ASSERT_TRUE(load(object, form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 2, 2}}),
                                   polygonsChunk({{0, 1, 2}, {1, 2, 3}})})));
    expectNear(object.faces[0].planeNormal, 0, 0, 1);
    EXPECT_EQ(object.faces[0].planeDistance, 0.0f);
    expectNear(object.faces[0].planePoint, 0, 0, 0);
    expectNear(object.faces[1].planePoint, 1, 0, 0);
}

TEST(LoadLwo, CollinearFaceGetsAZeroNormal) {
    SceneObject object;
    ASSERT_TRUE(load(object, form({pointsChunk({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}),
                                   polygonsChunk({{0, 1, 2}})})));
    expectNear(object.faces[0].planeNormal, 0, 0, 0);
    EXPECT_EQ(object.faces[0].planeDistance, 0.0f);
}

TEST(LoadLwo, ShortPolygonsAreDroppedWhereverTheyStand) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    expectConsistent(object);
    ASSERT_EQ(object.faceCount, 6);
    for (std::int32_t f = 0; f < 6; ++f) {
        ASSERT_EQ(object.faces[f].vertexCount, 4);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(pointIndex(object, object.faces[f].vertices[k]), cubeFaces[f][k]);
        }
    }
    expectNear(object.center, 0, 0, 0);
}

TEST(LoadLwo, PolygonChunkOfOnlyShortRecordsAllowsALaterOne) {
    SceneObject object;
    ASSERT_TRUE(load(object, form({pointsChunk(tetraPoints), polygonsChunk({{0}, {1, 2}}),
                                   polygonsChunk(tetraFaces)})));
    EXPECT_EQ(object.faceCount, 4);
    EXPECT_EQ(pointIndex(object, object.faces[3].vertices[1]), 3);
}

TEST(LoadLwo, EmptyPointChunkAllowsALaterOne) {
    SceneObject object;
    ASSERT_TRUE(load(object, form({pointsChunk({})})));
    EXPECT_EQ(object.pointCount, 0);
    expectNear(object.center, 0, 0, 0);
    ASSERT_TRUE(load(object, form({pointsChunk({}), pointsChunk(tetraPoints)})));
    EXPECT_EQ(object.pointCount, 4);
}

TEST(LoadLwo, TypeOnlyFormLoadsAnEmptyObject) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    ASSERT_TRUE(load(object, form({})));
    EXPECT_EQ(object.pointCount, 0);
    EXPECT_EQ(object.faceCount, 0);
    expectConsistent(object);
    EXPECT_FALSE(object.buildEdges());
}

TEST(LoadLwo, OnlyChunksInsideTheFormSizeAreRead) {
    // The FORM ends after the points; the polygons (and garbage) after it are never read.
    const Bytes points = pointsChunk(tetraPoints);
    Bytes file = form({points, polygonsChunk(tetraFaces)}, long(points.size() + 4));
    file.push_back(0xEE);
    SceneObject object;
    ASSERT_TRUE(load(object, file));
    EXPECT_EQ(object.pointCount, 4);
    EXPECT_EQ(object.faceCount, 0);
}

TEST(LoadLwo, OtherChunksAreSkippedAnywhere) {
    SceneObject plain;
    ASSERT_TRUE(load(plain, form({pointsChunk(tetraPoints), polygonsChunk(tetraFaces)})));
    SceneObject decorated;
    ASSERT_TRUE(load(decorated, form({chunk("SRFS", {'A', 0}), pointsChunk(tetraPoints),
                                      chunk("CRVS", {1, 2, 3}), polygonsChunk(tetraFaces),
                                      chunk("SURF", Bytes(40, 0x7F)), chunk("ZERO", {})})));
    ASSERT_EQ(decorated.faceCount, plain.faceCount);
    for (std::int32_t f = 0; f < plain.faceCount; ++f) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(pointIndex(decorated, decorated.faces[f].vertices[k]),
                      pointIndex(plain, plain.faces[f].vertices[k]));
        }
    }
}

TEST(LoadLwo, ReloadReplacesThePreviousMesh) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile(), "cube.lwo"));
    ASSERT_TRUE(object.buildEdges());
    ASSERT_TRUE(
        load(object, form({pointsChunk(tetraPoints), polygonsChunk(tetraFaces)}), "tetra.lwo"));
    EXPECT_EQ(object.pointCount, 4);
    EXPECT_EQ(object.faceCount, 4);
    EXPECT_EQ(object.edgeCount, 0);
    EXPECT_EQ(object.edges, nullptr);
}

// --- Refusals -----------------------------------------------------------------

TEST(LoadLwo, EarlyRefusalsLeaveTheObjectUntouched) {
    Bytes badForm = form({});
    badForm[0] = 'X';
    Bytes badType = form({});
    badType[11] = 'X';
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"bad_form.lwo", badForm},
        {"bad_type.lwo", badType},
        {"tiny_form.lwo", form({}, 3)},
        {"empty.lwo", {}},
    };
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    const Vertex* points = object.points;
    EXPECT_FALSE(object.loadLwo(scratchPath("does_not_exist.lwo").c_str()));
    for (const auto& [name, bytes] : cases) {
        EXPECT_FALSE(load(object, bytes, name)) << name;
        EXPECT_EQ(object.points, points) << name;
        EXPECT_EQ(object.faceCount, 6) << name;
    }
}

TEST(LoadLwo, StructuralRefusalsLeaveAConsistentObject) {
    const Bytes points = pointsChunk(tetraPoints);
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"chunk_past_form", form({points}, long(points.size()))},
        {"header_past_form", form({points, chunk("ZERO", {})}, long(points.size() + 4 + 4))},
        {"second_points", form({points, points})},
        {"points_not_12", form({chunk("PNTS", Bytes(13, 0))})},
        {"second_polygons", form({points, polygonsChunk(tetraFaces), polygonsChunk(tetraFaces)})},
        {"polygons_before_points", form({polygonsChunk(tetraFaces), points})},
        {"index_too_large", form({points, polygonsChunk({{0, 1, 2}, {0, 1, 4}})})},
        {"record_past_chunk",
         form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 0})})},
        {"record_over_chunk_end", form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0})})},
    };
    for (const auto& [name, bytes] : cases) {
        SceneObject object;
        object.refractColor = Color(0.3f, 0.3f, 0.3f, 0.3f);
        EXPECT_FALSE(load(object, bytes, name + ".lwo")) << name;
        expectConsistent(object);
        expectClearedColors(object);
        expectColor(object.refractColor, 0.3f, 0.3f, 0.3f, 0.3f);
        // Whatever was left behind can still be shaded, linked and cleared.
        object.shade(Vector3(0, -1, 0), Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0));
        object.buildEdges();
        expectConsistent(object);
    }
}

TEST(LoadLwo, BadIndexLeavesNoHalfFilledFace) {
    SceneObject object;
    ASSERT_FALSE(load(object, form({pointsChunk(tetraPoints),
                                    polygonsChunk({{0, 1, 2}, {0, 1, 2, 3, 9}, {1, 2, 3}})})));
    ASSERT_EQ(object.faceCount, 3);
    EXPECT_EQ(object.faces[0].vertexCount, 3);
    EXPECT_EQ(object.faces[1].vertexCount, 0);
    EXPECT_EQ(object.faces[1].vertices, nullptr);
    EXPECT_EQ(object.faces[2].vertexCount, 0);
    expectConsistent(object);
}

TEST(LoadLwo, EveryTruncationIsRefusedCleanly) {
    const Bytes full = cubeFile();
    SceneObject reference;
    ASSERT_TRUE(load(reference, full, "full.lwo"));
    for (std::size_t length = 0; length < full.size(); ++length) {
        SceneObject object;
        ASSERT_TRUE(load(object, form({pointsChunk(tetraPoints)}), "before.lwo"));
        const Bytes prefix(full.begin(), full.begin() + long(length));
        EXPECT_FALSE(load(object, prefix, "prefix.lwo")) << "length " << length;
        expectConsistent(object);
        if (length < 12) {
            EXPECT_EQ(object.pointCount, 4) << "length " << length;
        }
        object.clear();
    }
}

TEST(LoadLwo, HugeDeclaredSizesFailBeforeAllocating) {
    const Bytes smallPoints = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"huge_points", form({chunkClaiming("PNTS", 0xFFFFFFF0u, smallPoints)}, 0xFFFFFFFCu)},
        {"huge_polygons",
         form({pointsChunk(tetraPoints), chunkClaiming("POLS", 0xFFFFFF00u, {0, 3, 0, 0, 0, 1})},
              0xFFFFFFFCu)},
        {"huge_other", form({chunkClaiming("SURF", 0x7FFFFFF0u, {1, 2, 3})}, 0xFFFFFFFCu)},
        {"huge_form", form({pointsChunk(tetraPoints)}, 0xFFFFFFFFu)},
    };
    for (const auto& [name, bytes] : cases) {
        SceneObject object;
        allocation_probe::reset();
        EXPECT_FALSE(load(object, bytes, name + ".lwo")) << name;
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20) << name;
        expectConsistent(object);
    }
}

TEST(LoadLwo, LongPolygonsUpToTheIndexLimitLoad) {
    // A 65535-vertex record is the longest a 16-bit count allows.
    Polygon fan(65535);
    for (std::size_t k = 0; k < fan.size(); ++k) {
        fan[k] = std::uint16_t(k % 3);
    }
    SceneObject object;
    ASSERT_TRUE(
        load(object, form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), polygonsChunk({fan})})));
    ASSERT_EQ(object.faceCount, 1);
    EXPECT_EQ(object.faces[0].vertexCount, 65535);
    EXPECT_EQ(object.faces[0].vertices[65534], &object.points[2]);
}

TEST(LoadLwo, AllocationFailureAtAnyPointIsAFailedLoad) {
    const Bytes file = cubeFile();
    const std::string path = save("alloc.lwo", file);
    bool loaded = false;
    for (long allowance = 0; allowance < 100 && !loaded; ++allowance) {
        SceneObject object;
        allocation_probe::reset();
        allocation_probe::nothrowAllowance = allowance;
        loaded = object.loadLwo(path.c_str());
        allocation_probe::reset();
        expectConsistent(object);
        if (loaded) {
            EXPECT_EQ(object.faceCount, 6);
        }
    }
    EXPECT_TRUE(loaded);
}

// --- Shading ------------------------------------------------------------------

TEST(Shade, LitFacesAddTheDiffuseTermAndOthersKeepTheAmbient) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    Vector3 light(0.5f, -1.0f, 0.2f);
    light.normalize();
    object.shade(light, Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0));
    int lit = 0;
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        const float k = -face.planeNormal.dot(light);
        if (k > 0) {
            ++lit;
            expectColor(face.color, 0, 0.2f + k, 0.2f + k, 0.5f);
        } else {
            expectColor(face.color, 0, 0.2f, 0.2f, 0.5f);
        }
    }
    EXPECT_EQ(lit, 3);  // a cube shows three faces to any light off its axes
}

TEST(Shade, EdgeOnAndDegenerateFacesGetTheAmbientOnly) {
    SceneObject object;
    ASSERT_TRUE(load(object, form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}}),
                                   polygonsChunk({{0, 1, 2}, {0, 1, 3}})})));
    // Face 0 has normal (0, 0, 1); light along x is exactly edge-on.
    object.shade(Vector3(1, 0, 0), Color(0.1f, 0.2f, 0.3f, 0.9f), Color(1, 1, 1, 1));
    expectColor(object.faces[0].color, 0.1f, 0.2f, 0.3f, 0.5f);
    expectColor(object.faces[1].color, 0.1f, 0.2f, 0.3f, 0.5f);
}

TEST(Shade, ColoursAreNotClampedAndAlphaIsTheMaterials) {
    SceneObject object;
    ASSERT_TRUE(load(object, form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                   polygonsChunk({{0, 1, 2}})})));
    object.baseColor = Color(1, 0.5f, 2, 0.75f);
    object.shade(Vector3(0, 0, -1), Color(0.5f, 0.5f, 0.5f, 0.1f), Color(3, 3, 3, 3));
    expectColor(object.faces[0].color, 3.5f, 1.75f, 7.0f, 0.75f);
}

// --- Edge table ---------------------------------------------------------------

TEST(BuildEdges, ClosedCubeLinksEveryEdgeToTwoFaces) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    ASSERT_TRUE(object.buildEdges());
    ASSERT_EQ(object.edgeCount, 12);
    for (std::int32_t e = 0; e < object.edgeCount; ++e) {
        const Edge& edge = object.edges[e];
        ASSERT_NE(edge.faceA, nullptr);
        ASSERT_NE(edge.faceB, nullptr);
        EXPECT_NE(edge.faceA, edge.faceB);
        EXPECT_EQ(edge.crossing, nullptr);
        EXPECT_EQ(edge.silhouette, 0);
        // faceA walks the edge from vertexA to vertexB.
        const Face& a = *edge.faceA;
        bool walked = false;
        for (std::int32_t k = 0; k < a.vertexCount; ++k) {
            walked |= a.vertices[k] == edge.vertexA &&
                      a.vertices[(k + 1) % a.vertexCount] == edge.vertexB;
        }
        EXPECT_TRUE(walked) << "edge " << e;
    }
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            const Edge* edge = face.edges[k];
            ASSERT_NE(edge, nullptr);
            const Vertex* from = face.vertices[k];
            const Vertex* to = face.vertices[(k + 1) % face.vertexCount];
            EXPECT_TRUE((edge->vertexA == from && edge->vertexB == to) ||
                        (edge->vertexA == to && edge->vertexB == from));
            EXPECT_TRUE(edge->faceA == &face || edge->faceB == &face);
        }
    }
}

TEST(BuildEdges, TetrahedronEdgesFollowTheFirstFace) {
    SceneObject object;
    ASSERT_TRUE(load(object, form({pointsChunk(tetraPoints), polygonsChunk(tetraFaces)})));
    ASSERT_TRUE(object.buildEdges());
    ASSERT_EQ(object.edgeCount, 6);
    const Face& first = object.faces[0];
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(object.edges[k].vertexA, first.vertices[k]);
        EXPECT_EQ(object.edges[k].vertexB, first.vertices[(k + 1) % 3]);
        EXPECT_EQ(object.edges[k].faceA, &first);
        EXPECT_EQ(first.edges[k], &object.edges[k]);
    }
    // Side 0 of face 0 (points 0 -> 2) is shared with face 3 (0, 3, 2).
    EXPECT_EQ(object.edges[0].faceB, &object.faces[3]);
}

TEST(BuildEdges, RebuildingGivesTheSameTable) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    ASSERT_TRUE(object.buildEdges());
    const auto firstPairs = edgeIndexPairs(object);
    ASSERT_TRUE(object.buildEdges());
    EXPECT_EQ(edgeIndexPairs(object), firstPairs);
    // The faces point into the new table, not the freed one.
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        for (std::int32_t k = 0; k < object.faces[f].vertexCount; ++k) {
            EXPECT_GE(object.faces[f].edges[k], object.edges);
            EXPECT_LT(object.faces[f].edges[k], object.edges + object.edgeCount);
        }
    }
}

TEST(BuildEdges, OpenOrOverSharedMeshesAreRefused) {
    std::vector<Polygon> openCube(cubeFaces.begin(), cubeFaces.end() - 1);
    std::vector<Polygon> finned = tetraFaces;
    finned.push_back({0, 1, 4});
    std::vector<Vector3> finPoints = tetraPoints;
    finPoints.push_back({0, -1, 0});
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"triangle", form({pointsChunk(tetraPoints), polygonsChunk({{0, 1, 2}})})},
        {"open_cube", form({pointsChunk(cubePoints), polygonsChunk(openCube)})},
        {"fin", form({pointsChunk(finPoints), polygonsChunk(finned)})},
        // Two triangles back to back on coincident but separate points.
        {"split_points",
         form({pointsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
               polygonsChunk({{0, 1, 2}, {3, 5, 4}})})},
    };
    for (const auto& [name, bytes] : cases) {
        SceneObject object;
        ASSERT_TRUE(load(object, bytes, name + ".lwo")) << name;
        EXPECT_FALSE(object.buildEdges()) << name;
        expectConsistent(object);
    }
    SceneObject triangle;
    ASSERT_TRUE(load(triangle, cases[0].second));
    EXPECT_FALSE(triangle.buildEdges());
    EXPECT_EQ(triangle.edgeCount, 1);
}

TEST(BuildEdges, EmptyObjectIsRefusedWithoutATable) {
    SceneObject object;
    EXPECT_FALSE(object.buildEdges());
    EXPECT_EQ(object.edgeCount, 0);
    EXPECT_EQ(object.edges, nullptr);
}

TEST(BuildEdges, FailedRebuildLeavesNoPointerIntoTheFreedTable) {
    SceneObject object;
    ASSERT_TRUE(load(object, cubeFile()));
    ASSERT_TRUE(object.buildEdges());
    allocation_probe::nothrowAllowance = 0;
    EXPECT_FALSE(object.buildEdges());
    allocation_probe::reset();
    EXPECT_EQ(object.edgeCount, 0);
    EXPECT_EQ(object.edges, nullptr);
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        for (std::int32_t k = 0; k < object.faces[f].vertexCount; ++k) {
            EXPECT_EQ(object.faces[f].edges[k], nullptr);
        }
    }
}

}  // namespace
