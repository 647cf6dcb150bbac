// Projection and culling of a mesh against one view: which vertices and faces
// count, how cut faces are built, how the outline runs, shared crossings.

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "render/frame_arena.h"
#include "render/view.h"
#include "tests/render_meshes.h"

namespace {

class ProjectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(frameArena.create(1000, 1000, 1000));
        ASSERT_TRUE(
            render_meshes::loadMesh(box, render_meshes::cube(Vector3(0, 0, 0), 1.0f), "cube"));
    }
    void TearDown() override { frameArena.release(); }

    // Culls and projects the cube as the traversal does; -1 when culled.
    int project(const View& view, float planeX, float planeY, float planeZ, float distance) {
        const Vector3 normal(planeX, planeY, planeZ);
        if (!box.markPointsInFront(normal, distance) || !box.markFrontFaces(view.eye)) {
            return -1;
        }
        return box.projectFaces(view.matrix, normal, distance, faces, outline);
    }

    const Face* faceWithNormal(float x, float y, float z) const {
        for (int f = 0; f < box.faceCount; ++f) {
            const Vector3& n = box.faces[f].planeNormal;
            if (n.x == x && n.y == y && n.z == z) {
                return &box.faces[f];
            }
        }
        return nullptr;
    }

    static double signedArea(const Edge2* edges, int count) {
        double twice = 0.0;
        for (int i = 0; i < count; ++i) {
            twice += double(edges[i].from->x) * edges[i].to->y -
                     double(edges[i].to->x) * edges[i].from->y;
        }
        return -0.5 * twice;  // clockwise is positive
    }

    SceneObject box;
    PolygonList faces;
    Edge2 outline[32];
};

TEST_F(ProjectionTest, ProjectPointDividesByDepth) {
    Matrix identity;
    Point2 p;
    identity.projectPoint(Vector3(1, -4, 2), p);
    EXPECT_FLOAT_EQ(p.x, 0.5f);
    EXPECT_FLOAT_EQ(p.y, -2.0f);
}

TEST_F(ProjectionTest, CullingOnPointsBehindAndOnFacesAwayFromTheEye) {
    EXPECT_FALSE(box.markPointsInFront(Vector3(0, 0, 1), 1.5f));  // all behind z = 1.5
    for (int i = 0; i < box.pointCount; ++i) {
        EXPECT_EQ(box.points[i].projected, 0u);
    }
    // A vertex exactly on the plane is in front.
    EXPECT_TRUE(box.markPointsInFront(Vector3(0, 0, 1), 1.0f));
    int inFront = 0;
    for (int i = 0; i < box.pointCount; ++i) {
        inFront += box.points[i].projected == 1 ? 1 : 0;
    }
    EXPECT_EQ(inFront, 4);

    // An eye inside the box sees no face; one in a face's plane sees that face.
    EXPECT_FALSE(box.markFrontFaces(Vector3(0, 0, 0)));
    EXPECT_TRUE(box.markFrontFaces(Vector3(0.5f, 0.5f, -1.0f)));
    EXPECT_EQ(faceWithNormal(0, 0, -1)->frontFacing, 1);
    EXPECT_EQ(faceWithNormal(0, 0, 1)->frontFacing, 0);
}

TEST_F(ProjectionTest, WhollyVisibleObjectGivesItsFrontFacesAndAClockwiseOutline) {
    frameArena.reset();
    View view(Vector3(3, 0.5f, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    const int n = project(view, view.planeNormal.x, view.planeNormal.y, view.planeNormal.z,
                          view.planeDistance);
    // Front and right faces look at the eye: six silhouette edges.
    ASSERT_EQ(n, 6);
    ASSERT_EQ(faces.count, 2);
    std::set<const Face*> seen;
    std::set<std::pair<const Point2*, const Point2*>> faceEdges;
    for (const Polygon* p = faces.head; p; p = p->next) {
        seen.insert(p->face);
        ASSERT_EQ(p->vertexCount, p->face->vertexCount);  // own vertices, in order
        for (int i = 0; i < p->vertexCount; ++i) {
            EXPECT_EQ(p->vertices[i], reinterpret_cast<Point2*>(p->face->vertices[i]->projected));
        }
        Edge2 edges[8];
        const int m = p->listEdges(edges);
        EXPECT_GT(signedArea(edges, m), 0.0);
        for (int i = 0; i < m; ++i) {
            faceEdges.insert({edges[i].from, edges[i].to});
        }
    }
    EXPECT_EQ(seen.count(faceWithNormal(0, 0, -1)), 1u);
    EXPECT_EQ(seen.count(faceWithNormal(1, 0, 0)), 1u);
    // The outline runs along the faces, in their direction, and closes clockwise.
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(faceEdges.count({outline[i].from, outline[i].to}), 1u) << i;
    }
    EXPECT_GT(signedArea(outline, n), 0.0);
    for (int i = 0; i < box.edgeCount; ++i) {
        EXPECT_EQ(box.edges[i].crossing, nullptr);
    }
    // The list is newest first: the face later in the array is at the head.
    EXPECT_GT(faces.head->face, faces.head->next->face);
}

TEST_F(ProjectionTest, FacesCutByThePlaneAndTheOutlineAlongTheCut) {
    frameArena.reset();
    View view(Vector3(3, 0.5f, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    const Face* right = faceWithNormal(1, 0, 0);  // vertices (1,-1,-1) (1,1,-1) (1,1,1) (1,-1,1)

    // Only z >= 0 is visible: the front face is wholly behind, the right face
    // is cut with its vertex 0 behind: i0 = 1, i1 = 3, so i1 - i0 + 2 = 4 vertices.
    const int n = project(view, 0, 0, 1, 0);
    ASSERT_GT(n, 0);
    ASSERT_EQ(faces.count, 1);
    const Polygon* p = faces.head;
    EXPECT_EQ(p->face, right);
    ASSERT_EQ(p->vertexCount, 4);
    EXPECT_EQ(p->vertices[0], right->edges[1]->crossing);
    EXPECT_EQ(p->vertices[1], reinterpret_cast<Point2*>(right->vertices[2]->projected));
    EXPECT_EQ(p->vertices[2], reinterpret_cast<Point2*>(right->vertices[3]->projected));
    EXPECT_EQ(p->vertices[3], right->edges[3]->crossing);
    Edge2 edges[8];
    EXPECT_GT(signedArea(edges, p->listEdges(edges)), 0.0);
    // Crossings are shared: the cut back faces close the outline with the very
    // same points the cut front face uses.
    std::set<const Point2*> outlinePoints;
    for (int i = 0; i < n; ++i) {
        outlinePoints.insert(outline[i].from);
        outlinePoints.insert(outline[i].to);
    }
    EXPECT_EQ(outlinePoints.count(p->vertices[0]), 1u);
    EXPECT_EQ(outlinePoints.count(p->vertices[3]), 1u);
    EXPECT_GT(signedArea(outline, n), 0.0);

    // Only z <= 0 is visible: the right face keeps vertex 0 and is cut at
    // edges 1 and 3: i0 + n - i1 + 2 = 4 vertices, crossings in the middle.
    frameArena.reset();
    faces.clear();
    const int m = project(view, 0, 0, -1, 0);
    ASSERT_GT(m, 0);
    ASSERT_EQ(faces.count, 2);
    const Polygon* cut = faces.head->face == right ? faces.head : faces.head->next;
    ASSERT_EQ(cut->vertexCount, 4);
    EXPECT_EQ(cut->vertices[0], reinterpret_cast<Point2*>(right->vertices[0]->projected));
    EXPECT_EQ(cut->vertices[1], reinterpret_cast<Point2*>(right->vertices[1]->projected));
    EXPECT_EQ(cut->vertices[2], right->edges[1]->crossing);
    EXPECT_EQ(cut->vertices[3], right->edges[3]->crossing);
    EXPECT_GT(signedArea(outline, m), 0.0);
}

TEST_F(ProjectionTest, EdgeBetweenTwoFrontFacesGetsACrossingButNoOutlineEdge) {
    frameArena.reset();
    View view(Vector3(3, 0.5f, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    // y >= 0 cuts the edge that the front and the right face share.
    const int n = project(view, 0, 1, 0, 0);
    ASSERT_GT(n, 0);
    ASSERT_EQ(faces.count, 2);
    const Face* front = faceWithNormal(0, 0, -1);
    const Face* right = faceWithNormal(1, 0, 0);
    const Edge* shared = nullptr;
    for (int i = 0; i < box.edgeCount; ++i) {
        const Edge& edge = box.edges[i];
        if ((edge.faceA == front && edge.faceB == right) ||
            (edge.faceA == right && edge.faceB == front)) {
            shared = &edge;
        }
    }
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->silhouette, 0);
    ASSERT_NE(shared->crossing, nullptr);
    for (const Polygon* p = faces.head; p; p = p->next) {
        int uses = 0;
        for (int i = 0; i < p->vertexCount; ++i) {
            uses += p->vertices[i] == shared->crossing ? 1 : 0;
        }
        EXPECT_EQ(uses, 1);
    }
    for (int k = 0; k < n; ++k) {
        EXPECT_NE(outline[k].from, shared->crossing);
        EXPECT_NE(outline[k].to, shared->crossing);
    }
    EXPECT_GT(signedArea(outline, n), 0.0);
}

TEST_F(ProjectionTest, ProjectionThatDoesNotFitTakesNothing) {
    ASSERT_TRUE(frameArena.create(1, 3, 20));
    View view;
    view.eye = Vector3(3, 0.5f, -5);
    view.matrix.setTranslation(Vector3(0, 0, 10));
    const int n = project(view, 0, 0, 1, -10);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(faces.count, 0);
    EXPECT_EQ(frameArena.pointsUsed, 0);
    EXPECT_EQ(frameArena.polygonsUsed, 0);
    EXPECT_TRUE(frameArena.overflowed);
}

}  // namespace
