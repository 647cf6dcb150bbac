// Vectors and matrices, linked with the math library alone: everything it
// declares is defined in it. The cases here are the ones the frames never meet.

#include <gtest/gtest.h>

#include <tuple>

#include "math/matrix.h"

namespace {

void expectVector(const Vector3& v, const Vector3& expected) {
    EXPECT_NEAR(v.x, expected.x, 1e-5f);
    EXPECT_NEAR(v.y, expected.y, 1e-5f);
    EXPECT_NEAR(v.z, expected.z, 1e-5f);
}

// A zero vector, and a camera looking straight up or down.
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

// A point on the plane stays; one off it goes to the far side (mirror) or
// is pulled towards it (refraction); projection divides by depth.
TEST(MathMakers, ReflectionRefractionAndProjectionAboutAPlane) {
    const Vector3 normal(0, 0, -1);  // the plane z = -1
    Matrix mirror;
    mirror.makeReflection(normal, 1.0f);
    expectVector(mirror.transformPoint({2, 3, -1}), {2, 3, -1});
    expectVector(mirror.transformPoint({0, 0, 1}), {0, 0, -3});
    Matrix refraction;
    refraction.makeRefraction(normal, 1.0f, 1.5f);
    expectVector(refraction.transformPoint({0, 0, -1}), {0, 0, -1});
    expectVector(refraction.transformPoint({0, 0, 1}), {0, 0, -1 + 2 * 0.5f});
    Point2 projected;
    Matrix().projectPoint({2, -1, 4}, projected);
    EXPECT_EQ(std::make_tuple(projected.x, projected.y), std::make_tuple(0.5f, -0.25f));
}

}  // namespace
