// The frame arena and polygon lists: bump allocation, rewinding, copies that
// share points, and refusals at the capacity that never write past a block.

#include <gtest/gtest.h>

#include "render/frame_arena.h"

namespace {

class FrameArenaTest : public ::testing::Test {
protected:
    void TearDown() override { frameArena.release(); }
};

Polygon* triangle(float offset) {
    Polygon* polygon = frameArena.newPolygon();
    polygon->next = nullptr;
    polygon->allocateVertices(3);
    polygon->vertices[0] = frameArena.newPoint(offset, 0);
    polygon->vertices[1] = frameArena.newPoint(offset + 1, 0);
    polygon->vertices[2] = frameArena.newPoint(offset, -1);
    return polygon;
}

TEST_F(FrameArenaTest, CreateResetAndReleaseMoveTheCursors) {
    ASSERT_TRUE(frameArena.create(8, 16, 32));
    EXPECT_TRUE(frameArena.isReady());
    Polygon* first = frameArena.newPolygon();
    Point2* point = frameArena.newPoint(2.5f, -1.0f);
    EXPECT_EQ(first, frameArena.polygons);
    EXPECT_EQ(point, frameArena.points);
    EXPECT_FLOAT_EQ(point->x, 2.5f);
    EXPECT_FLOAT_EQ(point->y, -1.0f);
    first->allocateVertices(5);
    EXPECT_EQ(frameArena.slotsUsed, 5);
    EXPECT_EQ(frameArena.nextSlot, frameArena.slots + 5);

    first->vertexCount = 42;  // survives the rewind: nodes are not cleared
    frameArena.reset();
    EXPECT_EQ(frameArena.polygonsUsed, 0);
    EXPECT_EQ(frameArena.pointsUsed, 0);
    EXPECT_EQ(frameArena.slotsUsed, 0);
    Polygon* again = frameArena.newPolygon();
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->vertexCount, 42);

    frameArena.release();
    EXPECT_FALSE(frameArena.isReady());
    EXPECT_EQ(frameArena.polygons, nullptr);
    EXPECT_EQ(frameArena.nextSlot, nullptr);
    frameArena.release();  // twice is harmless
    EXPECT_TRUE(frameArena.create(1, 1, 1));
}

TEST_F(FrameArenaTest, RefusesWhatWouldPassTheCapacityAndFlagsTheFrame) {
    ASSERT_TRUE(frameArena.create(2, 3, 4));
    EXPECT_NE(frameArena.newPolygon(), nullptr);
    EXPECT_NE(frameArena.newPolygon(), nullptr);
    EXPECT_FALSE(frameArena.overflowed);
    EXPECT_EQ(frameArena.newPolygon(), nullptr);
    EXPECT_TRUE(frameArena.overflowed);
    EXPECT_EQ(frameArena.polygonsUsed, 2);

    Polygon polygon;
    EXPECT_TRUE(polygon.allocateVertices(3));
    EXPECT_FALSE(polygon.allocateVertices(2));  // one slot left
    EXPECT_EQ(polygon.vertexCount, 0);
    EXPECT_EQ(polygon.vertices, nullptr);
    EXPECT_EQ(frameArena.slotsUsed, 3);
    EXPECT_FALSE(polygon.allocateVertices(-1));
    EXPECT_EQ(frameArena.slotsUsed, 3);

    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(frameArena.newPoint(0, 0), nullptr);
    }
    EXPECT_EQ(frameArena.newPoint(0, 0), nullptr);
    EXPECT_EQ(frameArena.pointsUsed, 3);

    frameArena.reset();
    EXPECT_FALSE(frameArena.overflowed);
    EXPECT_TRUE(frameArena.hasRoom(2, 3, 4));
    EXPECT_FALSE(frameArena.hasRoom(0, 0, 5));
    EXPECT_TRUE(frameArena.overflowed);
}

TEST_F(FrameArenaTest, NothingIsHandedOutBeforeCreateOrWithBadCapacities) {
    EXPECT_EQ(frameArena.newPolygon(), nullptr);
    EXPECT_EQ(frameArena.newPoint(1, 1), nullptr);
    EXPECT_FALSE(frameArena.create(-1, 10, 10));
    EXPECT_FALSE(frameArena.isReady());
    ASSERT_TRUE(frameArena.create(0, 0, 0));
    EXPECT_EQ(frameArena.newPolygon(), nullptr);
    Polygon polygon;
    EXPECT_TRUE(polygon.allocateVertices(0));  // takes no slot
    EXPECT_EQ(polygon.vertexCount, 0);
    EXPECT_EQ(frameArena.slotsUsed, 0);
}

TEST_F(FrameArenaTest, ListEdgesClosesThePolygon) {
    ASSERT_TRUE(frameArena.create(4, 4, 4));
    const Polygon* p = triangle(0);
    Edge2 edges[3];
    EXPECT_EQ(p->listEdges(edges), 3);
    EXPECT_EQ(edges[0].from, p->vertices[0]);
    EXPECT_EQ(edges[0].to, p->vertices[1]);
    EXPECT_EQ(edges[1].from, p->vertices[1]);
    EXPECT_EQ(edges[1].to, p->vertices[2]);
    EXPECT_EQ(edges[2].from, p->vertices[2]);
    EXPECT_EQ(edges[2].to, p->vertices[0]);
}

TEST_F(FrameArenaTest, CopyKeepsOrderSharesPointsAndOwnsItsSlots) {
    ASSERT_TRUE(frameArena.create(16, 16, 32));
    PolygonList source;
    Polygon* a = triangle(0);
    Polygon* b = triangle(5);
    a->next = b;
    source.head = a;
    source.count = 2;

    PolygonList empty;
    PolygonList emptyCopy;
    const std::int32_t usedBefore = frameArena.polygonsUsed;
    EXPECT_TRUE(emptyCopy.copyFrom(empty));
    EXPECT_EQ(emptyCopy.count, 0);
    EXPECT_EQ(emptyCopy.head, nullptr);
    EXPECT_EQ(frameArena.polygonsUsed, usedBefore);

    PolygonList copy;
    ASSERT_TRUE(copy.copyFrom(source));
    ASSERT_EQ(copy.count, 2);
    const Polygon* c = copy.head;
    for (const Polygon* s = source.head; s; s = s->next, c = c->next) {
        ASSERT_NE(c, nullptr);
        EXPECT_NE(c, s);
        EXPECT_NE(c->vertices, s->vertices);
        ASSERT_EQ(c->vertexCount, s->vertexCount);
        for (int i = 0; i < s->vertexCount; ++i) {
            EXPECT_EQ(c->vertices[i], s->vertices[i]);
        }
    }
    EXPECT_EQ(c, nullptr);
    Point2* const original = a->vertices[0];
    copy.head->vertices[0] = nullptr;
    EXPECT_EQ(a->vertices[0], original);
}

TEST_F(FrameArenaTest, CopyThatDoesNotFitTakesNothing) {
    ASSERT_TRUE(frameArena.create(3, 16, 8));
    PolygonList source;
    Polygon* a = triangle(0);
    a->next = triangle(5);
    source.head = a;
    source.count = 2;
    const std::int32_t slotsBefore = frameArena.slotsUsed;
    PolygonList copy;
    EXPECT_FALSE(copy.copyFrom(source));  // 6 slots needed, 2 left
    EXPECT_EQ(copy.count, 0);
    EXPECT_EQ(copy.head, nullptr);
    EXPECT_EQ(frameArena.slotsUsed, slotsBefore);
    EXPECT_TRUE(frameArena.overflowed);
}

}  // namespace
