// Views: the root camera, reset, and the mirror and refraction transforms
// that make child views.

#include <gtest/gtest.h>

#include <cmath>

#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "render/view.h"

namespace {

void expectVector(const Vector3& v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(frameArena.create(16, 16, 16));
        frameArena.reset();
    }
    void TearDown() override { frameArena.release(); }
};

TEST_F(ViewTest, RootCameraLooksAtTheTargetThroughItsNearPlane) {
    View root(Vector3(0, 3, -4), Vector3(0, 2, 0), 1.0f, 4.0f / 3.0f, 1.0f);
    const float r17 = std::sqrt(17.0f);
    expectVector(root.planeNormal, 0, -1 / r17, 4 / r17);
    EXPECT_NEAR(root.planeDistance, 1 - 19 / r17, 1e-5f);
    expectVector(root.planePoint, 0, 3 - 1 / r17, -4 + 4 / r17);
    expectVector(root.matrix.transformPoint(Vector3(0, 2, 0)), 0, 0, r17);
    // right = (1, 0, 0), up = (0, 4, 1) / sqrt(17)
    expectVector(root.matrix.transformPoint(Vector3(1, 3, -4)), 1, 0, 0);
    expectVector(root.matrix.transformPoint(Vector3(0, 7, -3)), 0, r17, 0);
    Point2 projected;
    root.matrix.projectPoint(Vector3(0, 2, 0), projected);
    EXPECT_NEAR(projected.x, 0, 1e-6f);
    EXPECT_NEAR(projected.y, 0, 1e-6f);
    EXPECT_FLOAT_EQ(root.fillColor.a, 0.1f);
    EXPECT_FLOAT_EQ(root.envColor.a, 0.9f);
    EXPECT_EQ(root.objectIndex, 4);
}

TEST_F(ViewTest, RootWindowIsOneClockwiseRectangleFromTheArena) {
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.5f, 1.0f);
    ASSERT_EQ(root.window.count, 1);
    const Polygon* p = root.window.head;
    EXPECT_EQ(p->next, nullptr);
    ASSERT_EQ(p->vertexCount, 4);
    const float expected[4][2] = {{-1.5f, 1}, {1.5f, 1}, {1.5f, -1}, {-1.5f, -1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(p->vertices[i]->x, expected[i][0]);
        EXPECT_FLOAT_EQ(p->vertices[i]->y, expected[i][1]);
    }
    EXPECT_EQ(frameArena.polygonsUsed, 1);
    EXPECT_EQ(frameArena.pointsUsed, 4);
    EXPECT_EQ(frameArena.slotsUsed, 4);
}

TEST_F(ViewTest, RootWindowStaysEmptyWhenTheArenaIsFull) {
    ASSERT_TRUE(frameArena.create(1, 3, 4));
    View root(Vector3(0, 0, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(root.isCovered());
    EXPECT_EQ(frameArena.pointsUsed, 0);
    EXPECT_TRUE(frameArena.overflowed);
}

TEST_F(ViewTest, TargetStraightAboveAndZoom) {
    View up(Vector3(0, 0, 0), Vector3(0, 5, 0), 1.0f, 1.0f, 1.0f);
    expectVector(up.matrix.transformPoint(Vector3(1, 0, 0)), 1, 0, 0);
    expectVector(up.matrix.transformPoint(Vector3(0, 3, 0)), 0, 0, 3);

    View plain(Vector3(0, 3, -4), Vector3(0, 2, 0), 1.0f, 1.0f, 1.0f);
    View zoomed(Vector3(0, 3, -4), Vector3(0, 2, 0), 2.0f, 1.0f, 1.0f);
    const Vector3 p(0.5f, 1.0f, 2.0f);
    const Vector3 a = plain.matrix.transformPoint(p);
    const Vector3 b = zoomed.matrix.transformPoint(p);
    expectVector(b, 2 * a.x, 2 * a.y, a.z);
}

TEST_F(ViewTest, ResetKeepsOnlyThePlane) {
    View view(Vector3(0, 3, -4), Vector3(0, 2, 0), 1.0f, 1.0f, 1.0f);
    const Vector3 normal = view.planeNormal;
    const float distance = view.planeDistance;
    view.objectIndex = 2;
    view.reset();
    expectVector(view.eye, 0, 0, 0);
    expectVector(view.matrix.xAxis, 1, 0, 0);
    expectVector(view.matrix.translation, 0, 0, 0);
    EXPECT_FLOAT_EQ(view.fillColor.a, 0.0f);
    EXPECT_FLOAT_EQ(view.envColor.r, 1.0f);
    EXPECT_FLOAT_EQ(view.envColor.a, 1.0f);
    EXPECT_TRUE(view.isCovered());
    EXPECT_EQ(view.window.head, nullptr);
    EXPECT_EQ(view.objectIndex, 4);
    expectVector(view.planeNormal, normal.x, normal.y, normal.z);
    EXPECT_FLOAT_EQ(view.planeDistance, distance);
}

TEST(MirrorAndRefraction, ReflectionAcrossAPlane) {
    Matrix m;
    m.makeReflection(Vector3(0, 1, 0), 1.0f);
    expectVector(m.transformPoint(Vector3(0, 3, 0)), 0, -1, 0);
    expectVector(m.transformPoint(Vector3(5, 1, -2)), 5, 1, -2);

    Matrix ground;
    ground.makeReflection(Vector3(0, 1, 0), 0.0f);
    expectVector(ground.transformPoint(Vector3(0, 3, -4)), 0, -3, -4);

    Vector3 n(1, 2, -0.5f);
    n.normalize();
    Matrix tilted;
    tilted.makeReflection(n, 0.7f);
    const Matrix twice = tilted * tilted;
    expectVector(twice.transformPoint(Vector3(3, -1, 2)), 3, -1, 2);
    // Orientation is reversed: the determinant of the linear part is -1.
    const Vector3 x = tilted.xAxis;
    const Vector3 y = tilted.yAxis;
    const Vector3 z = tilted.zAxis;
    EXPECT_NEAR(x.dot(y.cross(z)), -1.0f, 1e-5f);
}

TEST(MirrorAndRefraction, RefractionPullsDistancesTowardsThePlane) {
    Matrix m;
    m.makeRefraction(Vector3(0, 1, 0), 1.0f, 1.33f);
    expectVector(m.transformPoint(Vector3(2, 4, 5)), 2, 3.01f, 5);
    expectVector(m.transformPoint(Vector3(-7, 1, 3)), -7, 1, 3);

    Matrix same;
    same.makeRefraction(Vector3(0.6f, 0.8f, 0), 2.0f, 1.0f);
    expectVector(same.transformPoint(Vector3(1, 2, 3)), 1, 2, 3);

    Matrix flat;
    flat.makeRefraction(Vector3(0, 0, 1), -1.0f, 2.0f);
    expectVector(flat.transformPoint(Vector3(4, 5, 9)), 4, 5, -1);
}

TEST(MirrorAndRefraction, ChildViewsTakeTheFacePlaneAndApplyTheirTransformFirst) {
    Face face;
    face.planeNormal = Vector3(0, 0, -1);
    face.planeDistance = 1.0f;  // the plane z = -1
    face.planePoint = Vector3(0, 0, -1);

    View mirrored;
    mirrored.eye = Vector3(0.5f, 0.25f, -5);
    Matrix camera;
    camera.setTranslation(Vector3(0, 0, 5));
    mirrored.matrix = camera;
    mirrored.fillColor = Color(0.1f, 0.2f, 0.3f, 0.4f);
    mirrored.mirrorThrough(face);
    expectVector(mirrored.eye, 0.5f, 0.25f, 3);
    expectVector(mirrored.planeNormal, 0, 0, -1);
    EXPECT_FLOAT_EQ(mirrored.planeDistance, 1.0f);
    expectVector(mirrored.planePoint, 0, 0, -1);
    // The world point (0, 0, 1) is mirrored to z = -3, then moved by the camera.
    expectVector(mirrored.matrix.transformPoint(Vector3(0, 0, 1)), 0, 0, 2);
    EXPECT_FLOAT_EQ(mirrored.fillColor.b, 0.3f);  // colours untouched

    View refracted;
    refracted.eye = Vector3(0, 0, -5);
    refracted.matrix = camera;
    refracted.refractThrough(face, 1.33f);
    // Distance 4 in front of the plane becomes 4 * 0.67.
    expectVector(refracted.eye, 0, 0, -1 - 4 * 0.67f);
    expectVector(refracted.matrix.transformPoint(Vector3(0, 0, 1)), 0, 0, 5 - 1 + 2 * 0.67f);

    View unchanged;
    unchanged.eye = Vector3(1, 2, 3);
    unchanged.matrix = camera;
    unchanged.refractThrough(face, 1.0f);
    expectVector(unchanged.eye, 1, 2, 3);
    expectVector(unchanged.matrix.translation, 0, 0, 5);
}

}  // namespace
