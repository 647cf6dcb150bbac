#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "math/color.h"
#include "math/matrix.h"
#include "math/vector3.h"

namespace {

void expectVector(const Vector3& v, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

Matrix uniformScale(float s) {
    Matrix m;
    m.xAxis = {s, 0, 0};
    m.yAxis = {0, s, 0};
    m.zAxis = {0, 0, s};
    return m;
}

TEST(Vector3Test, NormalizeLeavesZeroAndNanAlone) {
    Vector3 zero;
    zero.normalize();
    expectVector(zero, 0, 0, 0, 0);

    Vector3 nan(std::numeric_limits<float>::quiet_NaN(), 1, 1);
    nan.normalize();
    EXPECT_TRUE(std::isnan(nan.x));
    EXPECT_EQ(nan.y, 1.0f);

    Vector3 v(3, 0, 4);
    v.normalize();
    expectVector(v, 0.6f, 0, 0.8f);
}

TEST(Vector3Test, CrossIsRightHanded) {
    expectVector(Vector3(1, 0, 0).cross(Vector3(0, 1, 0)), 0, 0, 1, 0);
    expectVector(Vector3(0, 1, 0).cross(Vector3(0, 0, 1)), 1, 0, 0, 0);
    EXPECT_FLOAT_EQ(Vector3(1, 2, 3).dot(Vector3(4, -5, 6)), 12.0f);
}

TEST(ColorTest, ProductIsComponentWise) {
    const Color c = Color(0.5f, 1, 1, 0.25f) * Color(1, 1, 1, 0.4f);
    EXPECT_FLOAT_EQ(c.r, 0.5f);
    EXPECT_FLOAT_EQ(c.g, 1.0f);
    EXPECT_FLOAT_EQ(c.b, 1.0f);
    EXPECT_FLOAT_EQ(c.a, 0.1f);
    const Color opaqueBlack;
    EXPECT_EQ(opaqueBlack.a, 1.0f);
}

// The renderer builds view matrices as S * R then *= T and relies on the
// right-hand operand being applied first.
TEST(MatrixTest, ProductAppliesRightOperandFirst) {
    Matrix translate;
    translate.setTranslation({1, 0, 0});
    const Matrix scale = uniformScale(2);
    expectVector((translate * scale).transformPoint({1, 1, 1}), 3, 2, 2);
    expectVector((scale * translate).transformPoint({1, 1, 1}), 4, 2, 2);

    Matrix inPlace = translate;
    inPlace *= scale;
    const Matrix product = translate * scale;
    expectVector(inPlace.xAxis, product.xAxis.x, product.xAxis.y, product.xAxis.z, 0);
    expectVector(inPlace.translation, product.translation.x, product.translation.y,
                 product.translation.z, 0);
}

TEST(MatrixTest, DirectionsIgnoreTranslation) {
    Matrix m;
    m.setTranslation({5, 6, 7});
    expectVector(m.transformDirection({1, 2, 3}), 1, 2, 3, 0);
    expectVector(m.transformPoint({1, 2, 3}), 6, 8, 10, 0);
}

TEST(MatrixTest, TransposedBasisInvertsARotation) {
    Matrix r;
    r.setLookAlong({1, -2, 3});
    const Matrix inverse = r.transposedBasis();
    expectVector(inverse.translation, 0, 0, 0, 0);
    expectVector((inverse * r).transformPoint({0.3f, -4, 2}), 0.3f, -4, 2, 1e-5f);
}

TEST(MatrixTest, LookAlongForwardIsIdentity) {
    Matrix m;
    m.setTranslation({9, 9, 9});
    m.setLookAlong({0, 0, 1});
    expectVector(m.xAxis, 1, 0, 0);
    expectVector(m.yAxis, 0, 1, 0);
    expectVector(m.zAxis, 0, 0, 1);
    expectVector(m.translation, 0, 0, 0, 0);
}

TEST(MatrixTest, LookAlongStraightUpAndDownFallsBackToWorldX) {
    Matrix up;
    up.setLookAlong({0, 1, 0});
    expectVector(up.xAxis, 1, 0, 0);
    expectVector(up.yAxis, 0, 0, -1);
    expectVector(up.zAxis, 0, 1, 0);

    Matrix down;
    down.setLookAlong({0, -1, 0});
    expectVector(down.xAxis, 1, 0, 0);
    expectVector(down.yAxis, 0, 0, 1);
    expectVector(down.zAxis, 0, -1, 0);
}

TEST(MatrixTest, LookAlongGivesUnitRightHandedAxes) {
    Matrix m;
    m.setLookAlong({3, 0, 4});  // length 5
    EXPECT_NEAR(m.xAxis.length(), 1.0f, 1e-6f);
    EXPECT_NEAR(m.yAxis.length(), 1.0f, 1e-6f);
    expectVector(m.zAxis, 0.6f, 0, 0.8f);
    const Vector3 z = m.xAxis.cross(m.yAxis);
    expectVector(z, m.zAxis.x, m.zAxis.y, m.zAxis.z);
    EXPECT_NEAR(m.xAxis.dot(m.yAxis), 0.0f, 1e-6f);
}

}  // namespace
