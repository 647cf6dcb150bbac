// The scene hooks with the shipped data and no backend: start-up, the depth
// order and the depth budget.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "render/frame_arena.h"
#include "render/frame_state.h"
#include "render/traversal.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "tests/allocation_probe.h"
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

TEST(CameraTest, ParsesYawPitchDistanceWithinTheLimitsAndRefusesTheRest) {
    // Yaw wraps into [0, 360); pitch and distance outside the limits are refused.
    for (const auto& [text, yaw, pitch, distance] :
         {std::tuple{"45,14.04,4.123", 45.0, 14.04, 4.123},
          {"-90,-10,3", 270.0, -10.0, 3.0},
          {"720.5,80,12", 0.5, 80.0, 12.0},
          {"-1e-20,0,5", 0.0, 0.0, 5.0}}) {
        Camera camera;
        ASSERT_TRUE(parseCamera(text, camera)) << text;
        EXPECT_EQ(std::tuple(camera.yawDegrees, camera.pitchDegrees, camera.distance),
                  std::tuple(yaw, pitch, distance))
            << text;
    }
    for (const char* text :
         {"", "1,2", "1,2,4,5", "a,2,4", "1,,4", "1, 2,4", "0x1,2,4", "nan,2,4", "inf,2,4",
          "1e400,2,4", "1,80.01,4", "1,-10.5,4", "1,2,2.99", "1,2,12.5", "1,2,4,"}) {
        Camera camera{1, 2, 3};
        EXPECT_FALSE(parseCamera(text, camera)) << text;
        EXPECT_EQ(camera.distance, 3) << text;
    }
}

// The hooks read "data/..." relative to the working directory.
class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(testing_support::sourcePath(""));
        resetRenderStats();
    }
    void TearDown() override {
        Shutdown();
        for (SceneObject& object : sceneObjects) {
            object.clear();
        }
        std::filesystem::current_path(previous);
    }
    std::filesystem::path previous;
};

// Start-up sizes the edge table for the largest outline any view can have,
// and fails saying so when there is no memory for it.
TEST_F(SceneTest, StartUpSizesTheEdgeTableAndTheDepthBudgetIsClamped) {
    std::vector<Edge2>().swap(scratchEdges);
    probe::failThrowing = true;
    const bool started = PreInit();
    probe::reset();
    EXPECT_FALSE(started || sceneReady);
    EXPECT_STREQ(GetFailureReason(), "no memory for the frame's working space");
    ASSERT_TRUE(PreInit());
    EXPECT_STREQ(GetFailureReason(), "");
    for (const SceneObject& object : sceneObjects) {
        EXPECT_GE(std::int64_t(scratchEdges.size()), scratchEdgesNeeded(object));
    }
    FrameInputs frame{2500, kDefaultWidth, kDefaultHeight, -3, {}};
    drawFrame(frame);
    EXPECT_EQ(frameState.stats.viewsDrawn, 1);  // the root's fill and environment only
    EXPECT_EQ(frameState.stats.triangleFans, 2);

    frame.depthBudget = kMaxFrameDepthBudget;
    drawFrame(frame);
    const std::int64_t deepest = frameState.stats.viewsDrawn;
    frame.depthBudget = 1000000;
    drawFrame(frame);
    EXPECT_EQ(frameState.stats.viewsDrawn, deepest);
    EXPECT_LE(frameState.stats.polygonsUsed, kFramePolygonCapacity);
}

TEST_F(SceneTest, MissingObjectFileStopsStartUpAndLaterFramesDrawNothing) {
    std::filesystem::current_path(testing_support::scratchDirectory());
    EXPECT_FALSE(PreInit());
    // The shells show the file and the reader's reason under their own text.
    EXPECT_STREQ(GetFailureReason(), "data/base2.lwo: No such file or directory");
    EXPECT_FALSE(frameArena.isReady());
    drawFrame(FrameInputs{0, kDefaultWidth, kDefaultHeight, kDemoDepthBudget, {}});
    EXPECT_EQ(frameState.stats.framesRendered, 0);
}

}  // namespace

// A scene changed while drawing (the page's files): a refused one leaves the
// objects drawn untouched, an accepted one replaces them, and null goes back
// to the shipped scene.
TEST(ChangeScene, ARefusedSceneKeepsTheOneShown) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(testing_support::sourcePath(""));
    ASSERT_TRUE(PreInit());
    const Vertex* shippedPoints = sceneObjects[2].points;
    const std::int32_t shippedFaces = sceneObjects[2].faceCount;
    SceneDescription scene;
    scene.picture = testing_support::sourcePath(kEnvironmentFile);
    for (int i = 0; i < 4; ++i) {
        scene.objects[i].mesh = testing_support::sourcePath(kObjectFiles[i]);
    }
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    scene.objects[2].mesh = testing_support::scratchPath("open.obj");
    ASSERT_TRUE(testing_support::writeFile(scene.objects[2].mesh,
                                           std::vector<std::uint8_t>(text.begin(), text.end())));
    EXPECT_FALSE(changeScene(&scene));
    EXPECT_NE(std::strstr(GetFailureReason(), "open.obj: "), nullptr) << GetFailureReason();
    EXPECT_EQ(sceneObjects[2].points, shippedPoints);
    EXPECT_EQ(sceneObjects[2].faceCount, shippedFaces);
    EXPECT_EQ(customScene, nullptr);

    scene.objects[2].mesh = testing_support::sourcePath(kObjectFiles[2]);
    scene.objects[2].refractiveIndex = 1.5f;
    ASSERT_TRUE(changeScene(&scene)) << GetFailureReason();
    EXPECT_EQ(customScene, &scene);
    EXPECT_EQ(sceneObjects[2].refractiveIndex, 1.5f);
    EXPECT_EQ(sceneObjects[2].faceCount, shippedFaces);

    ASSERT_TRUE(changeScene(nullptr));
    EXPECT_EQ(customScene, nullptr);
    EXPECT_EQ(sceneObjects[2].refractiveIndex, kObjectRefractiveIndex);
    Shutdown();
    std::filesystem::current_path(previous);
}
