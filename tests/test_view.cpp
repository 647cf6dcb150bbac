// Views: the root window, the mirror and refraction transforms that make
// child views, and the vector and matrix cases the frames never meet.

#include <gtest/gtest.h>

#include <tuple>

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

// What the reference frames never meet: a zero vector, and a camera looking
// straight up or down.
TEST(MathEdgeCases, NormalizingZeroKeepsItAndLookingStraightUpOrDownFallsBackToWorldX) {
    Vector3 zero;
    zero.normalize();
    EXPECT_EQ(std::make_tuple(zero.x, zero.y, zero.z), std::make_tuple(0.0f, 0.0f, 0.0f));
    Matrix m;
    m.setLookAlong({0, 1, 0});
    expectVector(m.xAxis, {1, 0, 0});
    expectVector(m.yAxis, {0, 0, -1});
    m.setLookAlong({0, -1, 0});
    expectVector(m.xAxis, {1, 0, 0});
    expectVector(m.yAxis, {0, 0, 1});
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
