#include <gtest/gtest.h>

#include <cmath>

#include "math/matrix.h"
#include "math/vector3.h"

namespace {

void expectVector(const Vector3& v, const Vector3& expected, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, expected.x, tolerance);
    EXPECT_NEAR(v.y, expected.y, tolerance);
    EXPECT_NEAR(v.z, expected.z, tolerance);
}

void expectAxes(const Matrix& m, const Vector3& x, const Vector3& y, const Vector3& z) {
    expectVector(m.xAxis, x);
    expectVector(m.yAxis, y);
    expectVector(m.zAxis, z);
}

TEST(Vector3Test, NormalizeLeavesTheZeroVectorAlone) {
    Vector3 zero;
    zero.normalize();
    expectVector(zero, Vector3(), 0);
    Vector3 v(3, 0, 4);
    v.normalize();
    expectVector(v, Vector3(0.6f, 0, 0.8f));
}

// The renderer builds view matrices as S * R then *= T and relies on the
// right-hand operand being applied first.
TEST(MatrixTest, ProductAppliesRightOperandFirst) {
    Matrix translate;
    translate.setTranslation({1, 0, 0});
    Matrix scale;
    scale.xAxis = {2, 0, 0};
    scale.yAxis = {0, 2, 0};
    scale.zAxis = {0, 0, 2};
    expectVector((translate * scale).transformPoint({1, 1, 1}), {3, 2, 2});
    expectVector((scale * translate).transformPoint({1, 1, 1}), {4, 2, 2});
    expectVector((scale * translate).transformDirection({1, 1, 1}), {2, 2, 2});
    Matrix inPlace = translate;
    inPlace *= scale;
    expectVector(inPlace.transformPoint({1, 1, 1}), {3, 2, 2});
}

TEST(MatrixTest, LookAlongGivesUnitRightHandedAxesAndTransposeInverts) {
    Matrix m;
    m.setTranslation({9, 9, 9});
    m.setLookAlong({0, 0, 1});
    expectAxes(m, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
    expectVector(m.translation, Vector3(), 0);

    m.setLookAlong({3, 0, 4});  // length 5
    EXPECT_NEAR(m.yAxis.length(), 1.0f, 1e-6f);
    expectVector(m.zAxis, {0.6f, 0, 0.8f});
    expectVector(m.xAxis.cross(m.yAxis), m.zAxis);
    EXPECT_NEAR(m.xAxis.dot(m.yAxis), 0.0f, 1e-6f);

    m.setLookAlong({1, -2, 3});
    expectVector((m.transposedBasis() * m).transformPoint({0.3f, -4, 2}), {0.3f, -4, 2}, 1e-5f);
}

TEST(MatrixTest, LookAlongStraightUpAndDownFallsBackToWorldX) {
    Matrix m;
    m.setLookAlong({0, 1, 0});
    expectAxes(m, {1, 0, 0}, {0, 0, -1}, {0, 1, 0});
    m.setLookAlong({0, -1, 0});
    expectAxes(m, {1, 0, 0}, {0, 0, 1}, {0, -1, 0});
}

}  // namespace
