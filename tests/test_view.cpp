// Views: the root camera and window, and the mirror and refraction
// transforms that make child views.

#include <gtest/gtest.h>

#include <cmath>

#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "render/view.h"
#include "tests/render_meshes.h"

namespace {

void expectVector(const Vector3& v, const Vector3& expected) {
    EXPECT_NEAR(v.x, expected.x, 1e-5f);
    EXPECT_NEAR(v.y, expected.y, 1e-5f);
    EXPECT_NEAR(v.z, expected.z, 1e-5f);
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(frameArena.create(16, 16, 16)); }
    void TearDown() override { frameArena.release(); }
};

// The root camera's numbers are pinned by the reference frames; its window
// is what every clip starts from.
TEST_F(ViewTest, RootWindowIsOneClockwiseRectangle) {
    const View root(Vector3(0, 3, -4), Vector3(0, 2, 0), 1.0f, 4.0f / 3.0f, 1.0f);
    ASSERT_EQ(root.window.count, 1);
    EXPECT_EQ(root.window.head->next, nullptr);
    const float w = 4.0f / 3.0f;
    render_meshes::expectPolygon(root.window.head, {{-w, 1}, {w, 1}, {w, -1}, {-w, -1}});
}

TEST(MirrorAndRefraction, ReflectionAndRefractionAcrossAPlane) {
    Matrix m;
    m.makeReflection(Vector3(0, 1, 0), 1.0f);
    expectVector(m.transformPoint(Vector3(0, 3, 0)), Vector3(0, -1, 0));
    expectVector(m.transformPoint(Vector3(5, 1, -2)), Vector3(5, 1, -2));
    // Orientation is reversed: the determinant of the linear part is -1.
    EXPECT_NEAR(m.xAxis.dot(m.yAxis.cross(m.zAxis)), -1.0f, 1e-5f);

    // Refraction pulls distances towards the plane; index 1 changes nothing.
    m.makeRefraction(Vector3(0, 1, 0), 1.0f, 1.33f);
    expectVector(m.transformPoint(Vector3(2, 4, 5)), Vector3(2, 3.01f, 5));
    expectVector(m.transformPoint(Vector3(-7, 1, 3)), Vector3(-7, 1, 3));
    m.makeRefraction(Vector3(0.6f, 0.8f, 0), 2.0f, 1.0f);
    expectVector(m.transformPoint(Vector3(1, 2, 3)), Vector3(1, 2, 3));
}

TEST(MirrorAndRefraction, ChildViewsTakeTheFacePlaneAndApplyTheirTransformFirst) {
    Face face;
    face.planeNormal = Vector3(0, 0, -1);
    face.planeDistance = 1.0f;  // the plane z = -1
    face.planePoint = Vector3(0, 0, -1);
    Matrix camera;
    camera.setTranslation(Vector3(0, 0, 5));

    View mirrored;
    mirrored.eye = Vector3(0.5f, 0.25f, -5);
    mirrored.matrix = camera;
    mirrored.mirrorThrough(face);
    expectVector(mirrored.eye, Vector3(0.5f, 0.25f, 3));
    expectVector(mirrored.planeNormal, face.planeNormal);
    EXPECT_FLOAT_EQ(mirrored.planeDistance, 1.0f);
    expectVector(mirrored.planePoint, face.planePoint);
    // The world point (0, 0, 1) is mirrored to z = -3, then moved by the camera.
    expectVector(mirrored.matrix.transformPoint(Vector3(0, 0, 1)), Vector3(0, 0, 2));

    View refracted;
    refracted.eye = Vector3(0, 0, -5);
    refracted.matrix = camera;
    refracted.refractThrough(face, 1.33f);
    // Distance 4 in front of the plane becomes 4 * 0.67.
    expectVector(refracted.eye, Vector3(0, 0, -1 - 4 * 0.67f));
    expectVector(refracted.matrix.transformPoint(Vector3(0, 0, 1)),
                 Vector3(0, 0, 5 - 1 + 2 * 0.67f));
}

}  // namespace
