// The convex clipper: only the first run is cut, vertex order is kept, the
// tolerance band, outside pieces newest first, the early stop, the source
// left untouched, and a clean split when the arena runs out.

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

#include "render/frame_arena.h"

namespace {

using Points = std::vector<std::pair<float, float>>;

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

    static int chainLength(const PolygonList& l) {
        int n = 0;
        for (const Polygon* p = l.head; p; p = p->next) {
            ++n;
        }
        return n;
    }

    static double area(const Polygon* p) {
        double twice = 0.0;
        for (int i = 0; i < p->vertexCount; ++i) {
            const Point2* a = p->vertices[i];
            const Point2* b = p->vertices[(i + 1) % p->vertexCount];
            twice += double(a->x) * b->y - double(b->x) * a->y;
        }
        return -0.5 * twice;  // clockwise is positive
    }

    static double area(const PolygonList& l) {
        double total = 0.0;
        for (const Polygon* p = l.head; p; p = p->next) {
            total += area(p);
        }
        return total;
    }
};

const Points kSquare = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};

TEST_F(ClipperTest, NoEdgesCopiesTheSourceAndEmptySourceGivesNothing) {
    Polygon* square = polygon(kSquare);
    const PolygonList source = list({square});
    PolygonList inside;
    PolygonList outside;
    EXPECT_TRUE(source.clip(nullptr, 0, inside, outside));
    ASSERT_EQ(inside.count, 1);
    EXPECT_NE(inside.head, square);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(inside.head->vertices[i], square->vertices[i]);
    }
    EXPECT_EQ(outside.count, 0);
    EXPECT_EQ(outside.head, nullptr);

    const PolygonList empty;
    Edge2 e = edge(0, -5, 0, 5);
    EXPECT_TRUE(empty.clip(&e, 1, inside, outside));
    EXPECT_EQ(inside.count, 0);
    EXPECT_EQ(outside.count, 0);
}

TEST_F(ClipperTest, SquareCutByAVerticalEdgeIsRewrittenInItsOwnSlots) {
    const PolygonList source = list({polygon(kSquare)});
    Edge2 e = edge(0, -5, 0, 5);  // inside is x >= 0
    PolygonList inside;
    PolygonList outside;
    ASSERT_TRUE(source.clip(&e, 1, inside, outside));
    ASSERT_EQ(inside.count, 1);
    ASSERT_EQ(outside.count, 1);
    expectPolygon(outside.head, {{-1, 1}, {0, 1}, {0, -1}, {-1, -1}});
    expectPolygon(inside.head, {{0, 1}, {1, 1}, {1, -1}, {0, -1}});
    // The two pieces share their crossing points.
    EXPECT_EQ(inside.head->vertices[0], outside.head->vertices[1]);
    EXPECT_EQ(inside.head->vertices[3], outside.head->vertices[2]);
    // Not longer than before: the copy's own four slots were reused.
    EXPECT_EQ(frameArena.slotsUsed, 4 + 4 + 4);
}

TEST_F(ClipperTest, TriangleGrowsIntoFreshSlotsWhenOneVertexIsCutOff) {
    const Points triangle = {{0, 2}, {2, -2}, {-2, -2}};
    const PolygonList source = list({polygon(triangle)});
    PolygonList inside;
    PolygonList outside;
    Edge2 below = edge(-5, 0, 5, 0);  // inside is y <= 0
    ASSERT_TRUE(source.clip(&below, 1, inside, outside));
    expectPolygon(outside.head, {{0, 2}, {1, 0}, {-1, 0}});
    expectPolygon(inside.head, {{1, 0}, {2, -2}, {-2, -2}, {-1, 0}});

    Edge2 above = edge(5, 0, -5, 0);  // inside is y >= 0
    ASSERT_TRUE(source.clip(&above, 1, inside, outside));
    expectPolygon(outside.head, {{1, 0}, {2, -2}, {-2, -2}, {-1, 0}});
    expectPolygon(inside.head, {{0, 2}, {1, 0}, {-1, 0}});
}

TEST_F(ClipperTest, ToleranceBandScalesWithTheEdgeLength) {
    const float epsilon = 0.00001f;
    Edge2 unit = edge(-0.5f, 0, 0.5f, 0);
    Edge2 longer = edge(-5, 0, 5, 0);
    PolygonList inside;
    PolygonList outside;

    const PolygonList within = list({polygon({{0, epsilon / 2}, {1, -1}, {-1, -1}})});
    ASSERT_TRUE(within.clip(&unit, 1, inside, outside));
    EXPECT_EQ(outside.count, 0);
    EXPECT_EQ(inside.head->vertexCount, 3);

    const PolygonList beyond = list({polygon({{0, 2 * epsilon}, {1, -1}, {-1, -1}})});
    ASSERT_TRUE(beyond.clip(&unit, 1, inside, outside));
    EXPECT_EQ(outside.count, 1);

    // Ten times longer: the band is epsilon / 10 wide.
    const PolygonList narrow = list({polygon({{0, epsilon / 5}, {1, -1}, {-1, -1}})});
    ASSERT_TRUE(narrow.clip(&longer, 1, inside, outside));
    EXPECT_EQ(outside.count, 1);
    const PolygonList inBand = list({polygon({{0, epsilon / 20}, {1, -1}, {-1, -1}})});
    ASSERT_TRUE(inBand.clip(&longer, 1, inside, outside));
    EXPECT_EQ(outside.count, 0);
}

TEST_F(ClipperTest, WhollyOutsidePolygonMovesAndMeetsNoLaterEdge) {
    Polygon* square = polygon(kSquare);
    const PolygonList source = list({square});
    Edge2 edges[2] = {edge(5, -5, 5, 5), edge(0, -5, 0, 5)};  // first: inside x >= 5
    PolygonList inside;
    PolygonList outside;
    ASSERT_TRUE(source.clip(edges, 2, inside, outside));
    EXPECT_EQ(inside.count, 0);
    EXPECT_EQ(inside.head, nullptr);
    ASSERT_EQ(outside.count, 1);
    EXPECT_EQ(outside.head->next, nullptr);
    expectPolygon(outside.head, kSquare);  // whole, not cut by the second edge
}

TEST_F(ClipperTest, EmptyInsideStopsAndLeavesThePiecesNewestFirst) {
    const PolygonList source = list({polygon(kSquare)});
    Edge2 edges[3] = {edge(0, -5, 0, 5), edge(5, 5, -5, 5), edge(-3, -3, -3, 3)};
    PolygonList inside;
    PolygonList outside;
    ASSERT_TRUE(source.clip(edges, 3, inside, outside));
    EXPECT_EQ(inside.count, 0);
    ASSERT_EQ(outside.count, 2);
    expectPolygon(outside.head, {{0, 1}, {1, 1}, {1, -1}, {0, -1}});
    expectPolygon(outside.head->next, {{-1, 1}, {0, 1}, {0, -1}, {-1, -1}});
    EXPECT_NEAR(area(outside), 4.0, 1e-6);
}

TEST_F(ClipperTest, SeveralPolygonsKeepSourceOrderInsideAndReverseCutOrderOutside) {
    Polygon* left = polygon({{-3, 1}, {-1, 1}, {-1, -1}, {-3, -1}});
    Polygon* right = polygon({{1, 1}, {3, 1}, {3, -1}, {1, -1}});
    const PolygonList source = list({left, right});
    // Cut away y > 0.5, then x outside (-2.5, 2.5).
    Edge2 edges[3] = {edge(-5, 0.5f, 5, 0.5f), edge(-2.5f, -5, -2.5f, 5), edge(2.5f, 5, 2.5f, -5)};
    PolygonList inside;
    PolygonList outside;
    ASSERT_TRUE(source.clip(edges, 3, inside, outside));
    ASSERT_EQ(inside.count, 2);
    expectPolygon(inside.head, {{-1, 0.5f}, {-1, -1}, {-2.5f, -1}, {-2.5f, 0.5f}});
    expectPolygon(inside.head->next, {{2.5f, -1}, {1, -1}, {1, 0.5f}, {2.5f, 0.5f}});
    ASSERT_EQ(outside.count, 4);
    EXPECT_EQ(chainLength(outside), 4);
    // Newest first: right's x cut, left's x cut, right's y cut, left's y cut.
    expectPolygon(outside.head, {{3, 0.5f}, {3, -1}, {2.5f, -1}, {2.5f, 0.5f}});
    expectPolygon(outside.head->next, {{-2.5f, -1}, {-3, -1}, {-3, 0.5f}, {-2.5f, 0.5f}});
    EXPECT_NEAR(outside.head->next->next->vertices[0]->x, 1.0f, 1e-6f);
    EXPECT_NEAR(outside.head->next->next->next->vertices[0]->x, -3.0f, 1e-6f);
    EXPECT_NEAR(area(outside.head), 0.5 * 1.5, 1e-6);
    EXPECT_NEAR(area(outside.head->next), 0.5 * 1.5, 1e-6);
    EXPECT_NEAR(area(outside.head->next->next), 2 * 0.5, 1e-6);
    EXPECT_NEAR(area(inside) + area(outside), area(source), 1e-5);
}

TEST_F(ClipperTest, RootWindowClippedBySquareLeavesTheSquareAndFourPieces) {
    const float w = 4.0f / 3.0f;
    const PolygonList window = list({polygon({{-w, 1}, {w, 1}, {w, -1}, {-w, -1}})});
    Polygon* square = polygon({{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}});
    std::vector<Edge2> edges(4);
    ASSERT_EQ(square->listEdges(edges.data()), 4);
    std::vector<Point2**> sourceSlots = {window.head->vertices};
    PolygonList inside;
    PolygonList outside;
    ASSERT_TRUE(window.clip(edges.data(), 4, inside, outside));
    ASSERT_EQ(inside.count, 1);
    expectPolygon(inside.head, {{-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}});
    EXPECT_EQ(outside.count, 4);
    EXPECT_NEAR(area(outside), 2 * w * 2 - 1.0, 1e-5);
    for (const Polygon* p = outside.head; p; p = p->next) {
        EXPECT_GT(area(p), 0.0);  // still clockwise
    }
    // The source is exactly as it was.
    EXPECT_EQ(window.count, 1);
    EXPECT_EQ(window.head->vertexCount, 4);
    EXPECT_EQ(window.head->vertices, sourceSlots[0]);
    EXPECT_FLOAT_EQ(window.head->vertices[0]->x, -w);
    EXPECT_FLOAT_EQ(window.head->vertices[2]->y, -1.0f);
}

TEST_F(ClipperTest, ClippingTheSameSourceTwiceGivesTheSameResult) {
    const PolygonList source = list({polygon(kSquare), polygon({{2, 1}, {3, 1}, {2, 0}})});
    Edge2 edges[2] = {edge(-0.5f, -5, -0.5f, 5), edge(5, 0.25f, -5, 0.25f)};
    PolygonList first;
    PolygonList firstOut;
    PolygonList second;
    PolygonList secondOut;
    ASSERT_TRUE(source.clip(edges, 2, first, firstOut));
    ASSERT_TRUE(source.clip(edges, 2, second, secondOut));
    EXPECT_EQ(first.count, second.count);
    EXPECT_EQ(firstOut.count, secondOut.count);
    EXPECT_NEAR(area(first), area(second), 1e-9);
    EXPECT_NEAR(area(firstOut), area(secondOut), 1e-9);
    EXPECT_NEAR(area(first) + area(firstOut), area(source), 1e-5);
}

TEST_F(ClipperTest, ArenaRunningOutGivesEmptyInsideAndTheSourceOutside) {
    frameArena.release();
    // Room for the source and the copy, but not for a cut.
    ASSERT_TRUE(frameArena.create(2, 6, 8));
    Polygon* square = polygon(kSquare);
    const PolygonList source = list({square});
    Edge2 e = edge(0, -5, 0, 5);
    PolygonList inside;
    PolygonList outside;
    EXPECT_FALSE(source.clip(&e, 1, inside, outside));
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
    const PolygonList full = list({again});
    frameArena.newPolygon();
    EXPECT_FALSE(full.clip(nullptr, 0, inside, outside));
    EXPECT_EQ(inside.count, 0);
    EXPECT_EQ(outside.head, again);
}

}  // namespace
