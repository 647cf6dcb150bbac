// The scene hooks with the shipped data and no backend: start-up, the depth
// order and the depth budget.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "render/frame_arena.h"
#include "render/render_stats.h"
#include "render/traversal.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "tests/support.h"

namespace {

TEST(FrameComposition, DrawOrderIsNearestFirstWithTiesInIndexOrder) {
    struct Case {
        float depths[4];
        std::int32_t order[5];
    };
    // NaN never compares greater, so nothing is put before it and it stays first.
    for (const Case& c :
         {Case{{5, 2, 2, 1}, {3, 1, 2, 0, -1}}, Case{{1, 1, 1, 1}, {0, 1, 2, 3, -1}},
          Case{{std::nanf(""), 3, 1, 2}, {0, 2, 3, 1, -1}}}) {
        orderByDepth(c.depths);
        EXPECT_EQ(std::vector<std::int32_t>(drawOrder, drawOrder + 5),
                  std::vector<std::int32_t>(c.order, c.order + 5))
            << c.depths[0];
    }
}

// The hooks read "data/..." relative to the working directory.
class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(testing_support::sourcePath(""));
        frameDepthBudget = 2;
        resetRenderStats();
        clientSize = ClientSize{640, 480};
    }
    void TearDown() override {
        Shutdown();
        for (SceneObject& object : sceneObjects) {
            object.clear();
        }
        frameDepthBudget = 2;
        std::filesystem::current_path(previous);
    }
    std::filesystem::path previous;
};

// Which objects a frame visits, and in what order, the reference frames pin.
TEST_F(SceneTest, StartUpSizesTheEdgeTableAndTheDepthBudgetIsClamped) {
    ASSERT_TRUE(PreInit());
    for (const SceneObject& object : sceneObjects) {
        EXPECT_GE(std::int64_t(scratchEdges.size()), scratchEdgesNeeded(object));
    }
    frameTimeMs = 2500;
    frameDepthBudget = -3;
    ASSERT_TRUE(Frame());
    EXPECT_EQ(renderStats.viewsDrawn, 1);  // the root's fill and environment only
    EXPECT_EQ(renderStats.triangleFans, 2);

    frameDepthBudget = kMaxFrameDepthBudget;
    ASSERT_TRUE(Frame());
    const std::int64_t deepest = renderStats.viewsDrawn;
    frameDepthBudget = 1000000;
    ASSERT_TRUE(Frame());
    EXPECT_EQ(renderStats.viewsDrawn, deepest);
    EXPECT_LE(renderStats.polygonsUsed, kFramePolygonCapacity);
}

TEST_F(SceneTest, MissingObjectFileStopsStartUpAndLaterFramesDrawNothing) {
    std::filesystem::current_path(testing_support::scratchDirectory());
    EXPECT_FALSE(PreInit());
    EXPECT_FALSE(frameArena.isReady());
    EXPECT_TRUE(Frame());
    EXPECT_EQ(renderStats.framesRendered, 0);
}

}  // namespace
