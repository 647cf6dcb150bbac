// Views: the root window, the mirror and refraction transforms that make
// child views, and the legend that explains the views' outlines.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "render/view.h"
#include "render/view_outlines.h"
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

// The legend drawn as characters, each cell 0.0125 x 0.01 of the border
// under the root window, each mark its stroke's colour: the depth for the
// depths' colours, 'm' the mirrored shade, '+' the grey of the letters.
TEST(OutlineLegendTest, DigitsSwatchesAndLettersKeepTheirPlacesInTheBorder) {
    const float aspect = 4.0f / 3.0f;
    std::vector<OutlineSegment> segments;
    segments.reserve(39);
    EXPECT_FALSE(appendOutlineLegend(aspect, 2, segments));  // one short: never grows
    EXPECT_EQ(segments.capacity(), 39u);
    segments.clear();
    segments.reserve(40);
    ASSERT_TRUE(appendOutlineLegend(aspect, 2, segments));
    const auto mark = [](const Color& c) {
        const auto same = [&](const Color& d) { return c.r == d.r && c.g == d.g && c.b == d.b; };
        for (int depth = 0; depth <= 2; ++depth) {
            if (same(outlineColor(depth, ViewKind::Refracted))) {
                return char('0' + depth);
            }
        }
        return same(outlineColor(0, ViewKind::Mirrored)) ? 'm' : '+';
    };
    std::vector<std::string> picture(7, std::string(88, ' '));
    for (const OutlineSegment& s : segments) {
        for (int k = 0; k <= 100; ++k) {
            const float x = s.from.x + (s.to.x - s.from.x) * float(k) / 100;
            const float y = s.from.y + (s.to.y - s.from.y) * float(k) / 100;
            const long column = std::lround((x + aspect) / 0.0125f);
            const long row = 6 - std::lround((y + 1.08f) / 0.01f);
            ASSERT_TRUE(column >= 0 && column < 88 && row >= 0 && row < 7) << x << ", " << y;
            picture[std::size_t(row)][std::size_t(column)] = mark(s.color);
        }
    }
    const char* const expected[] = {
        "0000                1             2222                  ++ +              +++           ",
        "0  0                1                2                  ++ +              + +           ",
        "0  0000000000       1 111111111      2 222222222        ++++ mmm mmm      + + 000000000 ",
        "0  0000000000       1 111111111   2222 222222222        ++++ mmm mmm      +++ 000000000 ",
        "0  0000000000       1 111111111   2    222222222        + ++ mmm mmm      +++ 000000000 ",
        "0  0                1             2                     +  +              + +           ",
        "0000                1             2222                  +  +              + +           ",
    };
    for (std::size_t row = 0; row < 7; ++row) {
        EXPECT_EQ(picture[row], expected[row]) << "row " << row;
    }
    // Depths past the last colour share its entry; 5 has one entry fewer.
    const auto count = [&](int maxDepth) {
        segments.clear();
        segments.reserve(400);
        EXPECT_TRUE(appendOutlineLegend(aspect, maxDepth, segments));
        return segments.size();
    };
    EXPECT_LT(count(5), count(6));
    EXPECT_EQ(count(6), count(40));
    // A window narrower than the legend (a phone held upright) shrinks it
    // into the border instead of cutting it off at the right.
    for (const float narrow : {0.45f, 0.75f}) {
        segments.clear();
        segments.reserve(400);
        ASSERT_TRUE(appendOutlineLegend(narrow, 4, segments));
        float right = -narrow;
        for (const OutlineSegment& s : segments) {
            right = std::max({right, s.from.x, s.to.x});
            EXPECT_GE(std::min(s.from.y, s.to.y), -1.1f);
        }
        EXPECT_LE(right, narrow + 1e-5f);
        EXPECT_GT(right, 0.9f * narrow);  // shrunk no more than it needs
    }
    EXPECT_EQ(deepestView(FrameRecord(), viewSubtree(FrameRecord(), -1)), -1);  // no view at all
}

}  // namespace
