// The scene hooks with the shipped data and drawing off: start-up, the
// camera orbit, the depth order, and frames that must draw nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "app/hooks.h"
#include "render/frame_arena.h"
#include "render/render_stats.h"
#include "render/traversal.h"
#include "scene/scene.h"
#include "tests/support.h"

namespace {

// The hooks read "data/..." relative to the working directory.
class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(testing_support::sourcePath(""));
        renderDrawingEnabled = false;
        frameDepthBudget = 2;
        resetRenderStats();
        clientSize.width = 640;
        clientSize.height = 480;
        frameTimeMs = 0;
    }
    void TearDown() override {
        Shutdown();
        for (SceneObject& object : sceneObjects) {
            object.clear();
        }
        renderDrawingEnabled = true;
        frameDepthBudget = 2;
        std::filesystem::current_path(previous);
    }
    std::filesystem::path previous;
};

void expectNear(const Vector3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

TEST(SceneConstants, CaptionsAndObjectFiles) {
    EXPECT_STREQ(GetCaption(), "Glasswake");
    EXPECT_STREQ(GetTitle(), "Glasswake by Orvel / Lumo [fps: +inf :-)]");
    EXPECT_STREQ(objectFiles[0], "data/base2.lwo");
    EXPECT_STREQ(objectFiles[3], "data/crystal3.lwo");
    EXPECT_EQ(&drawOrder[0], &visibilityTable[4][0]);
}

TEST(FrameComposition, CameraCirclesOnceEveryEightSeconds) {
    expectNear(orbitEye(0.0), 0, 3, -4);
    expectNear(orbitEye(2.0), 4, 3, 0);
    expectNear(orbitEye(4.0), 0, 3, 4);
    expectNear(orbitEye(8.0), 0, 3, -4);
}

TEST(FrameComposition, DrawOrderIsNearestFirstWithTiesInIndexOrder) {
    const float depths[4] = {5, 2, 2, 1};
    orderByDepth(depths);
    const std::int32_t expected[5] = {3, 1, 2, 0, -1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(drawOrder[i], expected[i]);
    }
    const float equal[4] = {1, 1, 1, 1};
    orderByDepth(equal);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(drawOrder[i], i);
    }
    const float withNaN[4] = {std::nanf(""), 3, 1, 2};
    orderByDepth(withNaN);
    // NaN never compares greater, so nothing is put before it and it stays first.
    EXPECT_EQ(drawOrder[0], 0);
    EXPECT_EQ(drawOrder[1], 2);
    EXPECT_EQ(drawOrder[2], 3);
    EXPECT_EQ(drawOrder[3], 1);
}

TEST_F(SceneTest, FrameBeforeStartUpDrawsNothing) {
    ASSERT_FALSE(frameArena.isReady());
    EXPECT_TRUE(Frame());
    EXPECT_EQ(renderStats.framesRendered, 0);
    EXPECT_EQ(renderStats.viewsDrawn, 0);
}

TEST_F(SceneTest, PreInitLoadsEveryObjectAndSizesTheFrameMemory) {
    ASSERT_TRUE(PreInit());
    EXPECT_TRUE(frameArena.isReady());
    EXPECT_EQ(frameArena.polygonCapacity, 100000);
    for (const SceneObject& object : sceneObjects) {
        EXPECT_GT(object.faceCount, 0);
        EXPECT_GT(object.edgeCount, 0);
        EXPECT_GE(static_cast<std::int64_t>(scratchEdges.size()), scratchEdgesNeeded(object));
    }
}

TEST_F(SceneTest, FramesAlongTheOrbitDrawWithoutOverflow) {
    ASSERT_TRUE(PreInit());
    for (std::uint32_t ms = 0; ms < 8000; ms += 500) {
        frameTimeMs = ms;
        ASSERT_TRUE(Frame());
        EXPECT_FALSE(renderStats.frameOverflowed) << ms;
        EXPECT_GT(renderStats.viewsDrawn, 1) << ms;
        EXPECT_GT(renderStats.triangleFans, 0) << ms;
        // drawOrder is the depth order of this frame's eye.
        for (int i = 0; i < 4; ++i) {
            EXPECT_GE(drawOrder[i], 0);
        }
        EXPECT_EQ(drawOrder[4], -1);
    }
    EXPECT_EQ(renderStats.framesRendered, 16);
    EXPECT_EQ(renderStats.overflowFrames, 0);
    EXPECT_LE(renderStats.peakPolygonsUsed, 100000);
}

TEST_F(SceneTest, DrawOrderFollowsTheDepthOfEachObjectCentre) {
    ASSERT_TRUE(PreInit());
    frameTimeMs = 3000;
    ASSERT_TRUE(Frame());
    const Vector3 eye = orbitEye(3.0);
    const Vector3 forward = [&] {
        Vector3 f = kOrbitTarget - eye;
        f.normalize();
        return f;
    }();
    for (int i = 0; i + 1 < 4; ++i) {
        const float nearer = forward.dot(sceneObjects[drawOrder[i]].center - eye);
        const float farther = forward.dot(sceneObjects[drawOrder[i + 1]].center - eye);
        EXPECT_LE(nearer, farther + 1e-5f);
    }
}

TEST_F(SceneTest, WindowWithoutAreaDrawsNothingAndTouchesNoGeometry) {
    ASSERT_TRUE(PreInit());
    frameTimeMs = 1000;
    ASSERT_TRUE(Frame());
    const std::int32_t used = frameArena.polygonsUsed;
    const std::int64_t frames = renderStats.framesRendered;
    for (ClientSize size : {ClientSize{640, 0}, ClientSize{0, 480}, ClientSize{0, 0},
                            ClientSize{-5, 100}, ClientSize{100, -5}}) {
        clientSize = size;
        EXPECT_TRUE(Frame());
        EXPECT_EQ(frameArena.polygonsUsed, used);
        EXPECT_EQ(renderStats.framesRendered, frames);
    }
}

TEST_F(SceneTest, DeepFramesOnTinyArenasStayInsideTheirBlocks) {
    ASSERT_TRUE(PreInit());
    frameDepthBudget = 4;
    for (std::int32_t capacity : {10, 100, 1000}) {
        ASSERT_TRUE(recreateFrameArena(capacity, capacity, capacity));
        resetRenderStats();
        for (std::uint32_t ms : {0u, 1300u, 5100u}) {
            frameTimeMs = ms;
            ASSERT_TRUE(Frame());
            EXPECT_TRUE(renderStats.frameOverflowed);
            EXPECT_LE(renderStats.polygonsUsed, capacity);
            EXPECT_LE(renderStats.pointsUsed, capacity);
            EXPECT_LE(renderStats.slotsUsed, capacity);
        }
        EXPECT_EQ(renderStats.overflowFrames, 3);
    }
}

TEST_F(SceneTest, DepthBudgetIsClampedToAFiniteRange) {
    ASSERT_TRUE(PreInit());
    frameTimeMs = 2500;
    frameDepthBudget = -3;
    ASSERT_TRUE(Frame());
    EXPECT_EQ(renderStats.viewsDrawn, 1);  // the root's fill and environment only

    frameDepthBudget = kMaxFrameDepthBudget;
    ASSERT_TRUE(Frame());
    const std::int64_t deepest = renderStats.viewsDrawn;
    frameDepthBudget = 1000000;
    ASSERT_TRUE(Frame());
    EXPECT_EQ(renderStats.viewsDrawn, deepest);
    EXPECT_LE(renderStats.polygonsUsed, kFramePolygonCapacity);
}

TEST_F(SceneTest, MissingObjectFileStopsStartUp) {
    std::filesystem::current_path(testing_support::scratchDirectory());
    EXPECT_FALSE(PreInit());
    EXPECT_FALSE(frameArena.isReady());
    EXPECT_TRUE(Frame());
    EXPECT_EQ(renderStats.framesRendered, 0);
}

TEST_F(SceneTest, ShutdownReleasesTheArenaAndLaterFramesDrawNothing) {
    ASSERT_TRUE(PreInit());
    Shutdown();
    EXPECT_FALSE(frameArena.isReady());
    EXPECT_EQ(environmentTexture.handle, 0u);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(renderStats.framesRendered, 0);
}

}  // namespace
