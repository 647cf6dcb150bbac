// The convex clipper: vertex order kept, the tolerance band, outside pieces
// newest first, the early stop, the source left untouched, a clean split
// when the arena runs out, and the mending of the T-junctions cuts leave.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "render/frame_arena.h"
#include "render/frame_record.h"
#include "render/mend.h"
#include "tests/render_meshes.h"

namespace {

using render_meshes::area;
using render_meshes::expectPolygon;
using render_meshes::Points;

const Points kSquare = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
const Points kLeftHalf = {{-1, 1}, {0, 1}, {0, -1}, {-1, -1}};
const Points kRightHalf = {{0, 1}, {1, 1}, {1, -1}, {0, -1}};

class ClipperTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(frameArena.create(1000, 1000, 1000)); }
    void TearDown() override { frameArena.release(); }

    static PolygonList list(std::initializer_list<Points> polygons) {
        PolygonList result;
        Polygon** tail = &result.head;
        for (const Points& points : polygons) {
            *tail = render_meshes::makePolygon(points);
            tail = &(*tail)->next;
            ++result.count;
        }
        return result;
    }

    static Edge2 edge(float fromX, float fromY, float toX, float toY) {
        return Edge2{frameArena.newPoint(fromX, fromY), frameArena.newPoint(toX, toY)};
    }

    PolygonList inside;
    PolygonList outside;
};

TEST_F(ClipperTest, SquareCutByAVerticalEdgeIsRewrittenInItsOwnSlots) {
    Edge2 e = edge(0, -5, 0, 5);  // inside is x >= 0
    ASSERT_TRUE(list({kSquare}).clip(&e, 1, inside, outside));
    ASSERT_EQ(inside.count, 1);
    ASSERT_EQ(outside.count, 1);
    expectPolygon(outside.head, kLeftHalf);
    expectPolygon(inside.head, kRightHalf);
    // The two pieces share their crossing points.
    EXPECT_EQ(inside.head->vertices[0], outside.head->vertices[1]);
    EXPECT_EQ(inside.head->vertices[3], outside.head->vertices[2]);
    // Source, copy and outside piece: the copy's four slots were reused.
    EXPECT_EQ(frameArena.slotsUsed, 4 + 4 + 4);
}

// The inside alone is the same polygon without the outside pieces' nodes
// and slots; a polygon wholly outside is dropped.
TEST_F(ClipperTest, InsideAloneIsClipsInsideWithoutTheOutsidePieces) {
    Edge2 e = edge(0, -5, 0, 5);
    const PolygonList source = list({kSquare, kLeftHalf});
    ASSERT_TRUE(source.clip(&e, 1, inside, outside));
    const std::int32_t slots = frameArena.slotsUsed;
    const std::int32_t polygons = frameArena.polygonsUsed;
    PolygonList alone;
    ASSERT_TRUE(source.clipInside(&e, 1, alone));
    ASSERT_EQ(alone.count, 1);
    expectPolygon(alone.head, kRightHalf);
    EXPECT_EQ(frameArena.slotsUsed - slots, 8);  // the copies of both
    EXPECT_EQ(frameArena.polygonsUsed - polygons, 2);
}

TEST_F(ClipperTest, ToleranceBandShrinksWithTheEdgeLengthDownToAUnitEdge) {
    const float epsilon = 0.00001f;
    struct Case {
        float halfLength, apexY;
        bool cut;
    };
    // A unit edge keeps points within epsilon; ten times longer, epsilon / 10;
    // a hundred times shorter, still epsilon, not a hundred times that (a
    // pixel-long edge would take in points pixels away).
    for (const Case c : {Case{0.5f, epsilon / 2, false}, Case{0.5f, 2 * epsilon, true},
                         Case{5, epsilon / 5, true}, Case{5, epsilon / 20, false},
                         Case{0.005f, 2 * epsilon, true}, Case{0.005f, epsilon / 2, false}}) {
        SCOPED_TRACE(testing::Message() << c.halfLength << " " << c.apexY);
        Edge2 e = edge(-c.halfLength, 0, c.halfLength, 0);
        ASSERT_TRUE(list({{{0, c.apexY}, {1, -1}, {-1, -1}}}).clip(&e, 1, inside, outside));
        EXPECT_EQ(outside.count, c.cut ? 1 : 0);
        EXPECT_EQ(inside.head->vertexCount, c.cut ? 4 : 3);
    }
}

TEST_F(ClipperTest, WhollyOutsidePolygonMovesAndMeetsNoLaterEdge) {
    Edge2 edges[2] = {edge(5, -5, 5, 5), edge(0, -5, 0, 5)};  // first: inside x >= 5
    ASSERT_TRUE(list({kSquare}).clip(edges, 2, inside, outside));
    EXPECT_EQ(std::make_tuple(inside.count, inside.head, outside.count),
              std::make_tuple(0, nullptr, 1));
    expectPolygon(outside.head, kSquare);  // whole, not cut by the second edge
}

TEST_F(ClipperTest, EmptyInsideStopsAndLeavesThePiecesNewestFirst) {
    Edge2 edges[3] = {edge(0, -5, 0, 5), edge(5, 5, -5, 5), edge(-3, -3, -3, 3)};
    ASSERT_TRUE(list({kSquare}).clip(edges, 3, inside, outside));
    EXPECT_EQ(inside.count, 0);
    ASSERT_EQ(outside.count, 2);
    expectPolygon(outside.head, kRightHalf);
    expectPolygon(outside.head->next, kLeftHalf);
}

TEST_F(ClipperTest, SeveralPolygonsKeepSourceOrderInsideAndReverseCutOrderOutside) {
    const PolygonList source =
        list({{{-3, 1}, {-1, 1}, {-1, -1}, {-3, -1}}, {{1, 1}, {3, 1}, {3, -1}, {1, -1}}});
    // Cut away y > 0.5, then x outside (-2.5, 2.5).
    Edge2 edges[3] = {edge(-5, 0.5f, 5, 0.5f), edge(-2.5f, -5, -2.5f, 5), edge(2.5f, 5, 2.5f, -5)};
    ASSERT_TRUE(source.clip(edges, 3, inside, outside));
    ASSERT_EQ(inside.count, 2);
    expectPolygon(inside.head, {{-1, 0.5f}, {-1, -1}, {-2.5f, -1}, {-2.5f, 0.5f}});
    expectPolygon(inside.head->next, {{2.5f, -1}, {1, -1}, {1, 0.5f}, {2.5f, 0.5f}});
    // Newest first: right's x cut, left's x cut, right's y cut, left's y cut.
    std::vector<float> firstX;
    for (const Polygon* p = outside.head; p; p = p->next) {
        firstX.push_back(p->vertices[0]->x);
    }
    EXPECT_EQ(firstX, (std::vector<float>{3, -2.5f, 1, -3}));
    EXPECT_EQ(outside.count, 4);
    EXPECT_NEAR(area(inside.head) + area(outside.head), area(source.head), 1e-5);
}

TEST_F(ClipperTest, WindowCutBySquareLeavesTheSquareClockwisePiecesAndTheSourceUntouched) {
    const PolygonList window = list({kSquare});
    Point2** const slots = window.head->vertices;
    const std::vector<Point2*> points(slots, slots + 4);
    const Points square = {{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}};
    Edge2 edges[4];
    ASSERT_EQ(render_meshes::makePolygon(square)->listEdges(edges), 4);
    ASSERT_TRUE(window.clip(edges, 4, inside, outside));
    expectPolygon(inside.head, square);
    EXPECT_EQ(outside.count, 4);
    for (const Polygon* p = outside.head; p; p = p->next) {
        EXPECT_GT(area(p, p->next), 0.0);  // still clockwise
    }
    EXPECT_NEAR(area(outside.head), 4 - 1.0, 1e-5);
    EXPECT_EQ(std::vector<Point2*>(window.head->vertices, window.head->vertices + 4), points);
    expectPolygon(window.head, kSquare);
}

TEST_F(ClipperTest, ArenaRunningOutGivesEmptyInsideAndTheSourceOutside) {
    ASSERT_TRUE(frameArena.create(2, 6, 8));  // room for the source and the copy, not a cut
    const PolygonList source = list({kSquare});
    Edge2 e = edge(0, -5, 0, 5);
    EXPECT_FALSE(source.clip(&e, 1, inside, outside));
    EXPECT_TRUE(frameArena.overflowed);
    EXPECT_EQ(std::make_tuple(inside.count, inside.head, outside.count, outside.head),
              std::make_tuple(0, nullptr, 1, source.head));

    // Room for exactly one cut more: one polygon, the four points a cut may
    // take, and four slots besides the third mending holds back. The cut
    // fits, to the last polygon.
    ASSERT_TRUE(frameArena.create(3, 10, 18));
    const PolygonList again = list({kSquare});
    Edge2 across = edge(0, -5, 0, 5);
    inside = outside = PolygonList{};
    EXPECT_TRUE(again.clip(&across, 1, inside, outside));
    EXPECT_FALSE(frameArena.overflowed);
    EXPECT_EQ(std::make_tuple(inside.count, outside.count, frameArena.polygonsUsed),
              std::make_tuple(1, 1, 3));
}

// The right half of a square, cut again across, gains the point X on the
// edge it shares with the left half; the left half does not, until the
// frame is mended: then both sides of the shared edge have A, X and B. It is
// drawn round its centre, or, mended from corners, from (-1, 1), a corner
// whose two edges gained nothing.
TEST_F(ClipperTest, MendingGivesTheEdgeOnTheOtherSideOfACutItsNewPoint) {
    for (const bool fromCorners : {false, true}) {
        SCOPED_TRACE(fromCorners ? "from corners" : "round the centre");
        frameArena.reset();
        const auto cut = [](float fromX, float fromY, float toX, float toY) {
            Edge2 e = edge(fromX, fromY, toX, toY);
            e.line = frameArena.lines.newLine(e.from, e.to);
            return e;
        };
        const Edge2 vertical = cut(0, -5, 0, 5);
        const Edge2 across = cut(-5, 0, 5, 0);
        PolygonList top;
        PolygonList bottom;
        ASSERT_TRUE(list({kSquare}).clip(&vertical, 1, inside, outside));
        ASSERT_TRUE(inside.clip(&across, 1, top, bottom));
        ASSERT_EQ(std::make_tuple(outside.count, top.count, bottom.count),
                  std::make_tuple(1, 1, 1));
        FrameRecord record;
        ASSERT_TRUE(record.create(3));
        for (const PolygonList* pieces : {&outside, &top, &bottom}) {
            DrawCommand command;
            command.polygonCount = 1;
            command.polygons = pieces->head;
            ASSERT_GE(record.append(command), 0);
        }
        const Polygon& left = *outside.head;
        ASSERT_EQ(left.vertexCount, 4);
        Mend mend;
        ASSERT_TRUE(mend.create(frameArena));
        ASSERT_TRUE(mend.run(record, frameArena, fromCorners));
        expectPolygon(&left, {{-1, 1}, {0, 1}, {0, 0}, {0, -1}, {-1, -1}});
        EXPECT_EQ(left.fanFromCentre, !fromCorners);
        // Counted as sent: a fan round the centre has it and its first vertex again.
        EXPECT_EQ(countRecord(record).vertices, (fromCorners ? 5 : 5 + 2) + 4 + 4);
        // X is the very point both right pieces have, not one at its place.
        const Polygon& topRight = *top.head;
        EXPECT_EQ(std::count(topRight.vertices, topRight.vertices + 4, left.vertices[2]), 1);
        EXPECT_EQ(std::make_pair(top.head->vertexCount, bottom.head->vertexCount),
                  std::make_pair(4, 4));
    }
}

}  // namespace
