// The frame arena: refusals at the capacity that never write past a block,
// leave the pools as they were and flag the frame. (A copy or cut that does
// not fit is the clipper's test; whole frames on tiny arenas the GL test's.)

#include <gtest/gtest.h>

#include <tuple>

#include "render/frame_arena.h"

namespace {

class FrameArenaTest : public ::testing::Test {
protected:
    void TearDown() override { frameArena.release(); }
};

TEST_F(FrameArenaTest, RefusesWhatWouldPassTheCapacityAndFlagsTheFrame) {
    EXPECT_FALSE(frameArena.create(-1, 10, 10));
    EXPECT_EQ(frameArena.newPolygon(), nullptr);

    // Of 6 slots, a third is kept for mending the cut frame.
    ASSERT_TRUE(frameArena.create(2, 3, 6));
    EXPECT_NE(frameArena.newPolygon(), nullptr);
    EXPECT_NE(frameArena.newPolygon(), nullptr);
    EXPECT_FALSE(frameArena.overflowed);
    EXPECT_EQ(frameArena.newPolygon(), nullptr);
    EXPECT_TRUE(frameArena.overflowed);

    Polygon polygon;
    EXPECT_TRUE(polygon.allocateVertices(3));
    EXPECT_FALSE(polygon.allocateVertices(2));  // one slot left
    EXPECT_EQ(polygon.vertexCount, 0);
    EXPECT_EQ(polygon.vertices, nullptr);
    EXPECT_FALSE(polygon.allocateVertices(-1));
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(frameArena.newPoint(0, 0), nullptr);
    }
    EXPECT_EQ(frameArena.newPoint(0, 0), nullptr);
    EXPECT_EQ(std::make_tuple(frameArena.polygonsUsed, frameArena.slotsUsed, frameArena.pointsUsed),
              std::make_tuple(2, 3, 3));

    frameArena.reset();
    EXPECT_FALSE(frameArena.overflowed);
    EXPECT_TRUE(frameArena.hasRoom(2, 3, 4));
    EXPECT_FALSE(frameArena.hasRoom(0, 0, 5));
    EXPECT_TRUE(frameArena.overflowed);
    EXPECT_NE(frameArena.takeSlots(6, true), nullptr);
    EXPECT_EQ(frameArena.takeSlots(1, true), nullptr);
}

}  // namespace
