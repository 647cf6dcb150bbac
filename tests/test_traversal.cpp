// The recursive traversal, run with drawing off: which objects are visited,
// what they hide, which faces open child views, and that a frame on a tiny
// arena finishes inside its blocks.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "render/frame_arena.h"
#include "render/render_stats.h"
#include "render/traversal.h"
#include "render/view.h"
#include "scene/scene.h"
#include "tests/render_meshes.h"

using render_meshes::cube;
using render_meshes::loadMesh;

namespace {

class TraversalTest : public ::testing::Test {
protected:
    void SetUp() override {
        renderDrawingEnabled = false;
        resetRenderStats();
        ASSERT_TRUE(frameArena.create(100000, 100000, 100000));
        for (SceneObject& object : sceneObjects) {
            object.clear();
        }
        setRow(4, {-1});
    }
    void TearDown() override {
        for (SceneObject& object : sceneObjects) {
            object.clear();
        }
        frameArena.release();
        renderDrawingEnabled = true;
    }

    static void setRow(int row, std::initializer_list<int> entries) {
        int i = 0;
        for (int entry : entries) {
            visibilityTable[row][i++] = entry;
        }
        while (i < 5) {
            visibilityTable[row][i++] = -1;
        }
    }

    static void load(int index, const render_meshes::MeshData& mesh) {
        ASSERT_TRUE(loadMesh(sceneObjects[index], mesh, "object" + std::to_string(index)));
    }

    // A one-polygon window for a hand-built View.
    static void setRectangle(View& view, float left, float right, float bottom, float top) {
        Polygon* polygon = frameArena.newPolygon();
        ASSERT_NE(polygon, nullptr);
        polygon->next = nullptr;
        ASSERT_TRUE(polygon->allocateVertices(4));
        polygon->vertices[0] = frameArena.newPoint(left, top);
        polygon->vertices[1] = frameArena.newPoint(right, top);
        polygon->vertices[2] = frameArena.newPoint(right, bottom);
        polygon->vertices[3] = frameArena.newPoint(left, bottom);
        view.window.head = polygon;
        view.window.count = 1;
    }

    static double windowArea(const PolygonList& list) {
        double area = 0.0;
        for (const Polygon* p = list.head; p; p = p->next) {
            for (int i = 0; i < p->vertexCount; ++i) {
                const Point2* a = p->vertices[i];
                const Point2* b = p->vertices[(i + 1) % p->vertexCount];
                area += 0.5 * (double(a->x) * b->y - double(b->x) * a->y);
            }
        }
        return -area;  // clockwise polygons have negative signed area
    }
};

TEST_F(TraversalTest, DepthZeroDrawsFillAndEnvironmentOnly) {
    load(0, cube(Vector3(0, 0, 0), 0.5f));
    setRow(4, {0});
    frameArena.reset();
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    root.draw(0);
    EXPECT_EQ(renderStats.viewsDrawn, 1);
    EXPECT_EQ(renderStats.triangleFans, 2);  // fill, then environment
    EXPECT_EQ(renderStats.verticesSent, 8);
    EXPECT_EQ(root.window.count, 1);
}

TEST_F(TraversalTest, ObjectCutsItsOutlineOutOfTheWindowAndOpensTwoChildrenPerFace) {
    load(0, cube(Vector3(0, 0, 0), 0.5f));
    setRow(4, {0});
    frameArena.reset();
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    const double before = windowArea(root.window);
    root.draw(1);
    // Only the front face looks at the eye: a mirrored and a refracted child.
    EXPECT_EQ(renderStats.viewsDrawn, 3);
    // The face projects to a square of side 1/4.5 that is gone from the window.
    const double side = 1.0 / 4.5;
    EXPECT_NEAR(windowArea(root.window), before - side * side, 1e-5);
    EXPECT_EQ(root.window.count, 4);
}

TEST_F(TraversalTest, ObjectCoveringTheWholeWindowStopsTheRowAndSkipsTheEnvironment) {
    load(0, cube(Vector3(0, 0, 0), 3.5f));
    load(1, cube(Vector3(0, 0, 20), 1.0f));
    setRow(4, {0, 1});
    for (int f = 0; f < sceneObjects[1].faceCount; ++f) {
        sceneObjects[1].faces[f].frontFacing = 7;  // untouched if never visited
    }
    frameArena.reset();
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    root.draw(1);
    EXPECT_TRUE(root.isCovered());
    for (int f = 0; f < sceneObjects[1].faceCount; ++f) {
        EXPECT_EQ(sceneObjects[1].faces[f].frontFacing, 7);
    }
    // Root: fill only. Two children at depth 0: the mirrored one's fill adds
    // nothing and is not sent, so its environment only; fill and environment
    // for the refracted one.
    EXPECT_EQ(renderStats.viewsDrawn, 3);
    EXPECT_EQ(renderStats.triangleFans, 1 + 1 + 2);
}

TEST_F(TraversalTest, CulledObjectLeavesTheWindowAloneAndOpensNothing) {
    load(0, cube(Vector3(0, 0, -10), 0.5f));  // behind the eye
    setRow(4, {0});
    frameArena.reset();
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    Polygon* const originalHead = root.window.head;
    root.draw(2);
    EXPECT_EQ(root.window.head, originalHead);
    EXPECT_EQ(renderStats.viewsDrawn, 1);
}

TEST_F(TraversalTest, OnlyFacesThatOverlapTheCoveredRegionOpenChildren) {
    load(0, cube(Vector3(0, 0, 0), 1.0f));
    // From this corner the front and the left face show, left face on the left.
    const Vector3 eye(-5, 0, -5);
    frameArena.reset();
    View root(eye, Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);

    View onlyFront;
    onlyFront.eye = root.eye;
    onlyFront.matrix = root.matrix;
    onlyFront.planeNormal = root.planeNormal;
    onlyFront.planeDistance = root.planeDistance;
    setRectangle(onlyFront, 0.05f, 0.15f, -0.05f, 0.05f);
    onlyFront.traverseObject(0, 0);
    EXPECT_EQ(renderStats.viewsDrawn, 2);
    EXPECT_TRUE(onlyFront.isCovered());

    resetRenderStats();
    View both;
    both.eye = root.eye;
    both.matrix = root.matrix;
    both.planeNormal = root.planeNormal;
    both.planeDistance = root.planeDistance;
    setRectangle(both, -0.15f, 0.15f, -0.05f, 0.05f);
    both.traverseObject(0, 0);
    EXPECT_EQ(renderStats.viewsDrawn, 4);
}

TEST_F(TraversalTest, MirroredChildHidesNothingWhileRefractedChildDoes) {
    // Object 1 sits behind object 0: seen through object 0's front face it is
    // in front of both children's planes.
    load(0, cube(Vector3(0, 0, 0), 0.5f));
    load(1, cube(Vector3(0, 0, 3), 0.5f));
    setRow(4, {0, 1});
    setRow(0, {1});
    frameArena.reset();
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    const Face* front = nullptr;
    for (int f = 0; f < sceneObjects[0].faceCount; ++f) {
        if (sceneObjects[0].faces[f].planeNormal.z < -0.5f) {
            front = &sceneObjects[0].faces[f];
        }
    }
    ASSERT_NE(front, nullptr);

    View mirrored;
    mirrored.eye = root.eye;
    mirrored.matrix = root.matrix;
    mirrored.objectIndex = 0;
    setRectangle(mirrored, -1, 1, -1, 1);
    mirrored.mirrorThrough(*front);
    mirrored.planeNormal = -mirrored.planeNormal;
    mirrored.planeDistance = -mirrored.planeDistance;
    ASSERT_TRUE(sceneObjects[1].markPointsInFront(mirrored.planeNormal, mirrored.planeDistance));
    ASSERT_TRUE(sceneObjects[1].markFrontFaces(mirrored.eye));
    const double mirroredBefore = windowArea(mirrored.window);
    mirrored.draw(1);
    EXPECT_EQ(renderStats.viewsDrawn, 1);
    EXPECT_FALSE(mirrored.isCovered());
    EXPECT_NEAR(windowArea(mirrored.window), mirroredBefore, 1e-9);

    resetRenderStats();
    View refracted;
    refracted.eye = root.eye;
    refracted.matrix = root.matrix;
    refracted.objectIndex = 0;
    setRectangle(refracted, -1, 1, -1, 1);
    refracted.refractThrough(*front, sceneObjects[0].refractiveIndex);
    refracted.planeNormal = -refracted.planeNormal;
    refracted.planeDistance = -refracted.planeDistance;
    const double refractedBefore = windowArea(refracted.window);
    refracted.draw(1);
    EXPECT_EQ(renderStats.viewsDrawn, 3);
    EXPECT_LT(windowArea(refracted.window), refractedBefore - 1e-3);
}

TEST_F(TraversalTest, NearerObjectHidesTheOneBehindIt) {
    load(0, cube(Vector3(0, 0, 0), 0.5f));
    load(1, cube(Vector3(0, 0, 3), 0.5f));  // wholly behind object 0's outline
    setRow(4, {0, 1});
    frameArena.reset();
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    root.draw(1);
    EXPECT_EQ(renderStats.viewsDrawn, 3);  // only object 0's front face opens children

    setRow(4, {1, 0});
    resetRenderStats();
    frameArena.reset();
    View reversed(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    reversed.draw(1);
    EXPECT_EQ(renderStats.viewsDrawn, 5);  // the farther one first: both open children
}

TEST_F(TraversalTest, TinyArenaAtDepthFourFinishesInsideItsBlocks) {
    load(0, cube(Vector3(0, -1, 0), 1.5f));
    load(1, cube(Vector3(0.5f, 0.5f, 0), 0.4f));
    load(2, render_meshes::tetrahedron(Vector3(-0.8f, 0.2f, 0.5f), 0.4f));
    load(3, cube(Vector3(0.2f, 0.8f, 1.0f), 0.3f));
    setRow(4, {3, 1, 2, 0});
    for (int capacity : {0, 1, 4, 10, 37, 200, 2000}) {
        ASSERT_TRUE(recreateFrameArena(capacity, capacity, capacity));
        resetRenderStats();
        frameArena.reset();
        beginFrameStats();
        {
            View root(Vector3(1, 3, -4), Vector3(0, 0.5f, 0), 1.0f, 4.0f / 3.0f, 1.0f);
            root.draw(4);
        }
        endFrameStats();
        EXPECT_LE(frameArena.polygonsUsed, capacity);
        EXPECT_LE(frameArena.pointsUsed, capacity);
        EXPECT_LE(frameArena.slotsUsed, capacity);
        EXPECT_TRUE(renderStats.frameOverflowed) << capacity;
        EXPECT_EQ(renderStats.overflowFrames, 1);
        EXPECT_GE(renderStats.viewsDrawn, 1);
    }
}

TEST_F(TraversalTest, OutlineTooLargeForTheEdgeTableIsSkippedUntilTheTableIsSized) {
    // A prism over a 60-gon: 180 edges and 62 faces, more than 100 outline entries.
    render_meshes::MeshData prism;
    const int sides = 60;
    for (int i = 0; i < sides; ++i) {
        const float angle = 2.0f * 3.14159265f * float(i) / float(sides);
        prism.points.push_back(Vector3(std::cos(angle), std::sin(angle), -0.5f));
    }
    for (int i = 0; i < sides; ++i) {
        const Vector3 p = prism.points[std::size_t(i)];
        prism.points.push_back(Vector3(p.x, p.y, 0.5f));
    }
    std::vector<std::uint16_t> nearCap;
    std::vector<std::uint16_t> farCap;
    for (int i = 0; i < sides; ++i) {
        nearCap.push_back(std::uint16_t(sides - 1 - i));
        farCap.push_back(std::uint16_t(sides + i));
        const int j = (i + 1) % sides;
        prism.faces.push_back({std::uint16_t(i), std::uint16_t(j), std::uint16_t(sides + j),
                               std::uint16_t(sides + i)});
    }
    prism.faces.push_back(nearCap);
    prism.faces.push_back(farCap);
    load(0, prism);
    ASSERT_EQ(scratchEdgesNeeded(sceneObjects[0]), 180 + 62);
    ASSERT_EQ(scratchEdges.size(), 100u);
    setRow(4, {0});

    frameArena.reset();
    beginFrameStats();
    {
        View root(Vector3(0.3f, 0.4f, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
        root.draw(1);
    }
    endFrameStats();
    EXPECT_EQ(renderStats.viewsDrawn, 1);
    EXPECT_TRUE(renderStats.frameOverflowed);

    ASSERT_TRUE(reserveScratchEdges(scratchEdgesNeeded(sceneObjects[0])));
    resetRenderStats();
    frameArena.reset();
    beginFrameStats();
    {
        View root(Vector3(0.3f, 0.4f, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
        root.draw(1);
    }
    endFrameStats();
    EXPECT_FALSE(renderStats.frameOverflowed);
    EXPECT_GT(renderStats.viewsDrawn, 1);
}

}  // namespace
