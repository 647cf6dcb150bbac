// The convex clipper: vertex order kept, the tolerance band, outside pieces
// newest first, the early stop, the source left untouched, and a clean split
// when the arena runs out.

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "render/frame_arena.h"

namespace {

using Points = std::vector<std::pair<float, float>>;

const Points kSquare = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};

class ClipperTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(frameArena.create(1000, 1000, 1000)); }
    void TearDown() override { frameArena.release(); }

    static Polygon* polygon(const Points& points) {
        Polygon* p = frameArena.newPolygon();
        p->next = nullptr;
        p->allocateVertices(std::int32_t(points.size()));
        for (std::size_t i = 0; i < points.size(); ++i) {
            p->vertices[i] = frameArena.newPoint(points[i].first, points[i].second);
        }
        return p;
    }

    static PolygonList list(std::initializer_list<Polygon*> polygons) {
        PolygonList result;
        Polygon* tail = nullptr;
        for (Polygon* p : polygons) {
            (tail ? tail->next : result.head) = p;
            tail = p;
            ++result.count;
        }
        return result;
    }

    static Edge2 edge(float fromX, float fromY, float toX, float toY) {
        return Edge2{frameArena.newPoint(fromX, fromY), frameArena.newPoint(toX, toY)};
    }

    static void expectPolygon(const Polygon* p, const Points& expected) {
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->vertexCount, std::int32_t(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(p->vertices[i]->x, expected[i].first, 1e-5f) << "vertex " << i;
            EXPECT_NEAR(p->vertices[i]->y, expected[i].second, 1e-5f) << "vertex " << i;
        }
    }

    // Of the polygons from first up to end; clockwise is positive.
    static double area(const Polygon* first, const Polygon* end = nullptr) {
        double twice = 0.0;
        for (const Polygon* p = first; p != end; p = p->next) {
            for (int i = 0; i < p->vertexCount; ++i) {
                const Point2* a = p->vertices[i];
                const Point2* b = p->vertices[(i + 1) % p->vertexCount];
                twice -= double(a->x) * b->y - double(b->x) * a->y;
            }
        }
        return 0.5 * twice;
    }

    PolygonList inside;
    PolygonList outside;
};

TEST_F(ClipperTest, NoEdgesCopiesTheSourceAndEmptySourceGivesNothing) {
    Polygon* square = polygon(kSquare);
    ASSERT_TRUE(list({square}).clip(nullptr, 0, inside, outside));
    ASSERT_EQ(inside.count, 1);
    EXPECT_NE(inside.head, square);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(inside.head->vertices[i], square->vertices[i]);  // same points
    }
    EXPECT_EQ(outside.head, nullptr);

    Edge2 e = edge(0, -5, 0, 5);
    EXPECT_TRUE(PolygonList().clip(&e, 1, inside, outside));
    EXPECT_EQ(inside.count + outside.count, 0);
}

TEST_F(ClipperTest, SquareCutByAVerticalEdgeIsRewrittenInItsOwnSlots) {
    Edge2 e = edge(0, -5, 0, 5);  // inside is x >= 0
    ASSERT_TRUE(list({polygon(kSquare)}).clip(&e, 1, inside, outside));
    ASSERT_EQ(inside.count, 1);
    ASSERT_EQ(outside.count, 1);
    expectPolygon(outside.head, {{-1, 1}, {0, 1}, {0, -1}, {-1, -1}});
    expectPolygon(inside.head, {{0, 1}, {1, 1}, {1, -1}, {0, -1}});
    // The two pieces share their crossing points.
    EXPECT_EQ(inside.head->vertices[0], outside.head->vertices[1]);
    EXPECT_EQ(inside.head->vertices[3], outside.head->vertices[2]);
    // Source, copy and outside piece: the copy's four slots were reused.
    EXPECT_EQ(frameArena.slotsUsed, 4 + 4 + 4);
}

TEST_F(ClipperTest, TriangleCutByAHorizontalEdgeInBothDirections) {
    const PolygonList source = list({polygon({{0, 2}, {2, -2}, {-2, -2}})});
    const Points tip = {{0, 2}, {1, 0}, {-1, 0}};
    const Points base = {{1, 0}, {2, -2}, {-2, -2}, {-1, 0}};
    Edge2 below = edge(-5, 0, 5, 0);  // inside is y <= 0
    ASSERT_TRUE(source.clip(&below, 1, inside, outside));
    expectPolygon(outside.head, tip);
    expectPolygon(inside.head, base);

    Edge2 above = edge(5, 0, -5, 0);  // inside is y >= 0
    ASSERT_TRUE(source.clip(&above, 1, inside, outside));
    expectPolygon(outside.head, base);
    expectPolygon(inside.head, tip);
}

TEST_F(ClipperTest, ToleranceBandShrinksWithTheEdgeLength) {
    const float epsilon = 0.00001f;
    struct Case {
        float halfLength;
        float apexY;
        bool cut;
    };
    // A unit edge keeps points within epsilon; ten times longer, epsilon / 10.
    for (const Case c : {Case{0.5f, epsilon / 2, false}, Case{0.5f, 2 * epsilon, true},
                         Case{5, epsilon / 5, true}, Case{5, epsilon / 20, false}}) {
        SCOPED_TRACE(testing::Message() << c.halfLength << " " << c.apexY);
        Edge2 e = edge(-c.halfLength, 0, c.halfLength, 0);
        ASSERT_TRUE(
            list({polygon({{0, c.apexY}, {1, -1}, {-1, -1}})}).clip(&e, 1, inside, outside));
        EXPECT_EQ(outside.count, c.cut ? 1 : 0);
        EXPECT_EQ(inside.head->vertexCount, c.cut ? 4 : 3);
    }
}

TEST_F(ClipperTest, WhollyOutsidePolygonMovesAndMeetsNoLaterEdge) {
    Edge2 edges[2] = {edge(5, -5, 5, 5), edge(0, -5, 0, 5)};  // first: inside x >= 5
    ASSERT_TRUE(list({polygon(kSquare)}).clip(edges, 2, inside, outside));
    EXPECT_EQ(inside.count, 0);
    EXPECT_EQ(inside.head, nullptr);
    ASSERT_EQ(outside.count, 1);
    EXPECT_EQ(outside.head->next, nullptr);
    expectPolygon(outside.head, kSquare);  // whole, not cut by the second edge
}

TEST_F(ClipperTest, EmptyInsideStopsAndLeavesThePiecesNewestFirst) {
    Edge2 edges[3] = {edge(0, -5, 0, 5), edge(5, 5, -5, 5), edge(-3, -3, -3, 3)};
    ASSERT_TRUE(list({polygon(kSquare)}).clip(edges, 3, inside, outside));
    EXPECT_EQ(inside.count, 0);
    ASSERT_EQ(outside.count, 2);
    expectPolygon(outside.head, {{0, 1}, {1, 1}, {1, -1}, {0, -1}});
    expectPolygon(outside.head->next, {{-1, 1}, {0, 1}, {0, -1}, {-1, -1}});
}

TEST_F(ClipperTest, SeveralPolygonsKeepSourceOrderInsideAndReverseCutOrderOutside) {
    const PolygonList source = list({polygon({{-3, 1}, {-1, 1}, {-1, -1}, {-3, -1}}),
                                     polygon({{1, 1}, {3, 1}, {3, -1}, {1, -1}})});
    // Cut away y > 0.5, then x outside (-2.5, 2.5).
    Edge2 edges[3] = {edge(-5, 0.5f, 5, 0.5f), edge(-2.5f, -5, -2.5f, 5), edge(2.5f, 5, 2.5f, -5)};
    ASSERT_TRUE(source.clip(edges, 3, inside, outside));
    ASSERT_EQ(inside.count, 2);
    expectPolygon(inside.head, {{-1, 0.5f}, {-1, -1}, {-2.5f, -1}, {-2.5f, 0.5f}});
    expectPolygon(inside.head->next, {{2.5f, -1}, {1, -1}, {1, 0.5f}, {2.5f, 0.5f}});
    // Newest first: right's x cut, left's x cut, right's y cut, left's y cut.
    const float firstX[4] = {3, -2.5f, 1, -3};
    const Polygon* p = outside.head;
    for (int i = 0; i < 4; ++i, p = p->next) {
        ASSERT_NE(p, nullptr);
        EXPECT_FLOAT_EQ(p->vertices[0]->x, firstX[i]) << i;
    }
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(outside.count, 4);
    EXPECT_NEAR(area(inside.head) + area(outside.head), area(source.head), 1e-5);
}

TEST_F(ClipperTest, RootWindowClippedBySquareLeavesTheSquareAndTheSourceUntouched) {
    const float w = 4.0f / 3.0f;
    const PolygonList window = list({polygon({{-w, 1}, {w, 1}, {w, -1}, {-w, -1}})});
    Point2** const slots = window.head->vertices;
    Point2* const first = slots[0];
    Polygon* square = polygon({{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}});
    Edge2 edges[4];
    ASSERT_EQ(square->listEdges(edges), 4);
    ASSERT_TRUE(window.clip(edges, 4, inside, outside));
    ASSERT_EQ(inside.count, 1);
    expectPolygon(inside.head, {{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}});
    EXPECT_EQ(outside.count, 4);
    EXPECT_NEAR(area(outside.head), 2 * w * 2 - 1.0, 1e-5);
    for (const Polygon* p = outside.head; p; p = p->next) {
        EXPECT_GT(area(p, p->next), 0.0);  // still clockwise
    }
    EXPECT_EQ(window.head->vertexCount, 4);
    EXPECT_EQ(window.head->vertices, slots);
    EXPECT_EQ(slots[0], first);
    EXPECT_FLOAT_EQ(slots[2]->y, -1.0f);
}

TEST_F(ClipperTest, ArenaRunningOutGivesEmptyInsideAndTheSourceOutside) {
    // Room for the source and the copy, but not for a cut.
    ASSERT_TRUE(frameArena.create(2, 6, 8));
    Polygon* square = polygon(kSquare);
    Edge2 e = edge(0, -5, 0, 5);
    EXPECT_FALSE(list({square}).clip(&e, 1, inside, outside));
    EXPECT_TRUE(frameArena.overflowed);
    EXPECT_EQ(inside.count, 0);
    EXPECT_EQ(inside.head, nullptr);
    EXPECT_EQ(outside.count, 1);
    EXPECT_EQ(outside.head, square);
    EXPECT_LE(frameArena.slotsUsed, 8);
    EXPECT_LE(frameArena.pointsUsed, 6);

    // Not even room for the copy.
    frameArena.reset();
    Polygon* again = polygon(kSquare);
    frameArena.newPolygon();
    EXPECT_FALSE(list({again}).clip(nullptr, 0, inside, outside));
    EXPECT_EQ(inside.count, 0);
    EXPECT_EQ(outside.head, again);
}

}  // namespace
