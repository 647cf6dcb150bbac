// Projection and culling of a mesh against one view: cut faces, the outline's
// orientation, and crossings shared between faces and outline.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "render/frame_arena.h"
#include "render/view.h"
#include "tests/render_meshes.h"

namespace {

class ProjectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(frameArena.create(1000, 1000, 1000));
        ASSERT_TRUE(render_meshes::loadMesh(box, render_meshes::cube(Vector3(), 1.0f), "cube"));
    }
    void TearDown() override { frameArena.release(); }

    // Culls and projects the cube as the traversal does; -1 when culled.
    int project(Vector3 normal, float distance) {
        frameArena.reset();
        faces.clear();
        if (!box.markPointsInFront(normal, distance) || !box.markFrontFaces(view.eye)) {
            return -1;
        }
        return box.projectFaces(view.matrix, normal, distance, faces, outline);
    }

    const Face* faceWithNormal(float x, float y, float z) const {
        const Face* end = box.faces + box.faceCount;
        const Face* found = std::find_if<const Face*>(box.faces, end, [&](const Face& f) {
            return f.planeNormal.x == x && f.planeNormal.y == y && f.planeNormal.z == z;
        });
        return found == end ? nullptr : found;
    }

    static const Point2* projected(const Face* face, int i) {
        return reinterpret_cast<Point2*>(face->vertices[i]->projected);
    }

    // Clockwise is positive.
    static double signedArea(const Edge2* edges, int count) {
        double twice = 0.0;
        for (int i = 0; i < count; ++i) {
            twice += double(edges[i].from->x) * edges[i].to->y -
                     double(edges[i].to->x) * edges[i].from->y;
        }
        return -0.5 * twice;
    }

    SceneObject box;
    View view{Vector3(3, 0.5f, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f};
    PolygonList faces;
    Edge2 outline[32];
};

TEST_F(ProjectionTest, CullingOnPointsBehindAndOnFacesAwayFromTheEye) {
    EXPECT_FALSE(box.markPointsInFront(Vector3(0, 0, 1), 1.5f));  // all behind z = 1.5
    // A vertex exactly on the plane is in front.
    EXPECT_TRUE(box.markPointsInFront(Vector3(0, 0, 1), 1.0f));
    EXPECT_EQ(std::count_if(box.points, box.points + box.pointCount,
                            [](const auto& p) { return p.projected == 1; }),
              4);
    // An eye inside the box sees no face; one in a face's plane sees that face.
    EXPECT_FALSE(box.markFrontFaces(Vector3(0, 0, 0)));
    EXPECT_TRUE(box.markFrontFaces(Vector3(0.5f, 0.5f, -1.0f)));
    EXPECT_EQ(faceWithNormal(0, 0, -1)->frontFacing, 1);
    EXPECT_EQ(faceWithNormal(0, 0, 1)->frontFacing, 0);
}

TEST_F(ProjectionTest, WhollyVisibleObjectGivesItsFrontFacesAndAClockwiseOutline) {
    const int n = project(view.planeNormal, view.planeDistance);
    // Front and right faces look at the eye: six silhouette edges.
    ASSERT_EQ(n, 6);
    ASSERT_EQ(faces.count, 2);
    // Newest first: the face later in the array is at the head.
    EXPECT_EQ(faces.head->face, faceWithNormal(1, 0, 0));
    EXPECT_EQ(faces.head->next->face, faceWithNormal(0, 0, -1));
    std::set<std::pair<const Point2*, const Point2*>> faceEdges;
    for (const Polygon* p = faces.head; p; p = p->next) {
        ASSERT_EQ(p->vertexCount, p->face->vertexCount);
        for (int i = 0; i < p->vertexCount; ++i) {
            EXPECT_EQ(p->vertices[i], projected(p->face, i));  // own vertices, in order
        }
        Edge2 edges[8];
        const int m = p->listEdges(edges);
        EXPECT_GT(signedArea(edges, m), 0.0);
        for (int i = 0; i < m; ++i) {
            faceEdges.insert({edges[i].from, edges[i].to});
        }
    }
    // The outline runs along the faces, in their direction, and closes clockwise.
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(faceEdges.count({outline[i].from, outline[i].to}), 1u) << i;
    }
    EXPECT_GT(signedArea(outline, n), 0.0);
}

TEST_F(ProjectionTest, FacesCutByThePlaneShareTheirCrossingsWithTheOutline) {
    const Face* right = faceWithNormal(1, 0, 0);  // (1,-1,-1) (1,1,-1) (1,1,1) (1,-1,1)
    struct Case {
        Vector3 normal;
        int faceCount;
        int expected[4];  // a vertex of the face, or 10 + k for the crossing on its edge k
    };
    // z >= 0: the front face is wholly behind, the right face loses vertices 0
    // and 1. z <= 0: both remain, the right face loses 2 and 3. y >= 0 cuts the
    // edge the front and right faces share: a crossing of both, not of the outline.
    for (const Case& c :
         {Case{Vector3(0, 0, 1), 1, {11, 2, 3, 13}}, Case{Vector3(0, 0, -1), 2, {0, 1, 11, 13}},
          Case{Vector3(0, 1, 0), 2, {10, 1, 2, 12}}}) {
        SCOPED_TRACE(testing::Message() << c.normal.y << " " << c.normal.z);
        const int n = project(c.normal, 0);
        ASSERT_GT(n, 0);
        ASSERT_EQ(faces.count, c.faceCount);
        const Polygon* cut = faces.head->face == right ? faces.head : faces.head->next;
        ASSERT_EQ(cut->face, right);
        ASSERT_EQ(cut->vertexCount, 4);
        std::set<const Point2*> outlinePoints;
        for (int i = 0; i < n; ++i) {
            outlinePoints.insert({outline[i].from, outline[i].to});
        }
        for (int i = 0; i < 4; ++i) {
            const int e = c.expected[i];
            if (e < 10) {
                EXPECT_EQ(cut->vertices[i], projected(right, e)) << i;
                continue;
            }
            const Point2* crossing = right->edges[e - 10]->crossing;
            EXPECT_EQ(cut->vertices[i], crossing) << i;
            const bool shared = e == 10 && c.normal.y == 1;  // edge 0 joins two front faces
            EXPECT_EQ(outlinePoints.count(crossing), shared ? 0u : 1u) << i;
            for (const Polygon* p = faces.head; shared && p; p = p->next) {
                EXPECT_EQ(std::count(p->vertices, p->vertices + p->vertexCount, crossing), 1);
            }
        }
        Edge2 edges[8];
        EXPECT_GT(signedArea(edges, cut->listEdges(edges)), 0.0);
        EXPECT_GT(signedArea(outline, n), 0.0);
    }
}

}  // namespace
