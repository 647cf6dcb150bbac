// The recursive traversal and the frame record it fills: what objects hide,
// which faces open child views and in which order, and the scratch edge
// table's bound.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

#include "render/frame_arena.h"
#include "render/frame_record.h"
#include "render/frame_state.h"
#include "render/pass_plan.h"
#include "render/traversal.h"
#include "render/view.h"
#include "scene/scene.h"
#include "tests/render_meshes.h"

using render_meshes::area;
using render_meshes::cube;

namespace {

const Vector3 kEye(0, 0, -5);

class TraversalTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetRenderStats();
        ASSERT_TRUE(frameArena.create(100000, 100000, 100000));
        ASSERT_TRUE(frameState.create(1000, frameArena));
        for (int row = 0; row < 5; ++row) {
            setRow(row, {});
        }
    }
    void TearDown() override {
        for (SceneObject& object : sceneObjects) {
            object.clear();
        }
        frameArena.release();
        frameState.release();
    }

    static RecordCounts counts() { return countRecord(frameState.record); }

    static void setRow(int row, std::initializer_list<int> entries) {
        std::fill(visibilityTable[row], visibilityTable[row] + 5, -1);
        std::copy(entries.begin(), entries.end(), visibilityTable[row]);
    }

    static void load(int index, const render_meshes::MeshData& mesh) {
        ASSERT_TRUE(
            render_meshes::loadMesh(sceneObjects[index], mesh, "object" + std::to_string(index)));
    }

    // Gives view the root's camera from eye and a rectangle as its window.
    static void aim(View& view, Vector3 eye, float left, float right, float bottom, float top) {
        const View root(eye, Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
        view.eye = root.eye;
        view.matrix = root.matrix;
        view.planeNormal = root.planeNormal;
        view.planeDistance = root.planeDistance;
        view.window.head = render_meshes::makePolygon(
            {{left, top}, {right, top}, {right, bottom}, {left, bottom}});
        view.window.count = 1;
    }

    static const Face* faceFacing(const SceneObject& object, float z) {
        const Face* end = object.faces + object.faceCount;
        const Face* found = std::find_if<const Face*>(
            object.faces, end, [z](const Face& f) { return f.planeNormal.z == z; });
        return found == end ? nullptr : found;
    }
};

TEST_F(TraversalTest, ObjectCutsItsOutlineOutAndEachVisibleFaceOpensMirroredThenRefracted) {
    load(0, cube(Vector3(0, 0, 0), 0.5f));
    load(1, cube(Vector3(0, 0, 3), 0.5f));  // behind object 0, seen through its faces
    setRow(4, {0});
    setRow(0, {1});
    View root(kEye, Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    const double before = area(root.window.head);
    root.draw(sceneTraversal, 2);
    // Only the front face looks at the eye; the face projects to a square of
    // side 1/4.5 that is gone from the window.
    const double side = 1.0 / 4.5;
    EXPECT_NEAR(area(root.window.head), before - side * side, 1e-5);
    EXPECT_EQ(root.window.count, 4);
    // The record, in drawing order: each view's fill, its children, then its
    // environment. Object 1 is seen through the front face in the refracted
    // child only (a mirror reverses the outline, which then covers nothing).
    // Each command as pass, kind, depth, its view's entry and its parent's:
    // F/E for fill/environment, r/m/f for root/mirrored/refracted. An uncut
    // view's two passes cover the very same polygons.
    std::string recorded;
    for (std::int32_t i = 0; i < frameState.record.count; ++i) {
        const DrawCommand& c = frameState.record.commands[i];
        recorded += std::string(c.pass == DrawPass::Fill ? " F" : " E") + "rmf"[int(c.kind)] +
                    std::to_string(c.depth) + "," + std::to_string(c.view) + "," +
                    std::to_string(c.parent);
    }
    EXPECT_EQ(recorded,
              " Fr0,0,-1 Fm1,1,0 Em1,1,0 Ff1,3,0 Fm2,4,3 Em2,4,3 Ff2,6,3 Ef2,6,3"
              " Ef1,3,0 Er0,0,-1");
    EXPECT_EQ(frameState.record.commands[7].polygons, frameState.record.commands[6].polygons);
    // Colours as the traversal computes them: a mirrored fill adds nothing, a
    // refracted one is the face colour times the parent's environment colour.
    const Face& front = *faceFacing(sceneObjects[0], -1);
    const Color tint = front.color * root.envColor;
    const Color& refractedFill = frameState.record.commands[3].color;
    EXPECT_EQ(std::make_tuple(refractedFill.r, refractedFill.g, refractedFill.a),
              std::make_tuple(tint.r, tint.g, tint.a));
    EXPECT_EQ(frameState.record.commands[1].color.a, 0.0f);
    EXPECT_EQ(frameState.record.commands[9].polygons, root.window.head);
    // The refracted child came last: object 1's scratch faces are from its
    // eye, in front of the face, not from the mirrored eye behind it.
    EXPECT_EQ(faceFacing(sceneObjects[1], -1)->frontFacing, 1);
    EXPECT_EQ(faceFacing(sceneObjects[1], 1)->frontFacing, 0);
}

TEST_F(TraversalTest, ObjectCoveringTheWholeWindowStopsTheRowAndSkipsTheEnvironment) {
    load(0, cube(Vector3(0, 0, 0), 3.5f));
    load(1, cube(Vector3(0, 0, 20), 1.0f));
    setRow(4, {0, 1});
    Face* const faces = sceneObjects[1].faces;
    const int faceCount = sceneObjects[1].faceCount;
    std::for_each(faces, faces + faceCount, [](Face& f) { f.frontFacing = 7; });
    View root(kEye, Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
    root.draw(sceneTraversal, 1);
    EXPECT_TRUE(root.isCovered());
    // Object 1 was never visited: its faces were never marked.
    EXPECT_TRUE(std::all_of(faces, faces + faceCount, [](Face& f) { return f.frontFacing == 7; }));
    // Root: fill only. The mirrored child's fill adds nothing and is not sent:
    // environment only. Fill and environment for the refracted child.
    EXPECT_EQ(counts().views, 3);
    EXPECT_EQ(counts().fans, 1 + 1 + 2);
}

TEST_F(TraversalTest, OnlyFacesThatOverlapTheCoveredRegionOpenChildren) {
    load(0, cube(Vector3(0, 0, 0), 1.0f));
    // From this corner the front and the left face show, left face on the left.
    const Vector3 eye(-5, 0, -5);
    View onlyFront;
    aim(onlyFront, eye, 0.05f, 0.15f, -0.05f, 0.05f);
    onlyFront.traverseObject(sceneTraversal, 0, 0);
    EXPECT_EQ(counts().views, 2);
    EXPECT_TRUE(onlyFront.isCovered());

    frameState.record.reset();
    View both;
    aim(both, eye, -0.15f, 0.15f, -0.05f, 0.05f);
    both.traverseObject(sceneTraversal, 0, 0);
    EXPECT_EQ(counts().views, 4);
}

// Where the scene's budget allows, what lies apart from what would cut it is
// passed over: an object whose outline misses the window by their boxes, and
// a piece of the covered window by the box of the face it is clipped to. Cut
// all the same, the window would only fall into pieces that show the same,
// and each face's children see the same.
TEST_F(TraversalTest, SkippingWhatLiesApartKeepsTheWindowWholeAndTheChildrenTheSame) {
    load(0, cube(Vector3(0, 0, 0), 1.0f));
    const Vector3 eye(-5, 0, -5);  // the left face shows left of x = 0, the front face right
    std::int32_t slotsUsed[2] = {};
    double childArea[2] = {};
    for (const bool skip : {false, true}) {
        frameState.skipApart = skip;
        frameArena.reset();
        frameState.record.reset();
        View apart;
        aim(apart, eye, 0.5f, 0.7f, -0.5f, 0.5f);
        const std::int32_t points = frameArena.pointsUsed;
        EXPECT_TRUE(apart.traverseObject(sceneTraversal, 0, 0));
        EXPECT_EQ(apart.window.count == 1, skip);
        EXPECT_EQ(frameArena.pointsUsed == points, skip);  // not even projected
        EXPECT_EQ(counts().views, 0);

        // One piece on each face.
        View both;
        aim(both, eye, 0.05f, 0.15f, -0.05f, 0.05f);
        aim(apart, eye, -0.15f, -0.05f, -0.05f, 0.05f);
        both.window.head->next = apart.window.head;
        both.window.count = 2;
        const std::int32_t slots = frameArena.slotsUsed;
        both.traverseObject(sceneTraversal, 0, 0);
        EXPECT_TRUE(both.isCovered());
        EXPECT_EQ(counts().views, 4);
        slotsUsed[skip] = frameArena.slotsUsed - slots;
        for (std::int32_t i = 0; i < frameState.record.count; ++i) {
            const DrawCommand& command = frameState.record.commands[i];
            childArea[skip] += command.pass == DrawPass::Fill ? area(command.polygons) : 0.0;
        }
    }
    frameState.skipApart = false;
    EXPECT_LT(slotsUsed[true], slotsUsed[false]);
    EXPECT_NEAR(childArea[true], childArea[false], 1e-9);
    EXPECT_NEAR(childArea[true], 4 * 0.1 * 0.1, 1e-6);
}

TEST_F(TraversalTest, OutlineTooLargeForTheEdgeTableIsSkippedUntilTheTableIsSized) {
    // A prism over a 60-gon: 180 edges and 62 faces, more than 100 outline entries.
    render_meshes::MeshData prism;
    const int sides = 60;
    prism.faces.resize(2);  // the two caps
    for (int i = 0; i < sides; ++i) {
        const float angle = 2.0f * 3.14159265f * float(i) / float(sides);
        prism.points.push_back(Vector3(std::cos(angle), std::sin(angle), -0.5f));
        prism.faces[0].push_back(std::uint16_t(sides - 1 - i));
        prism.faces[1].push_back(std::uint16_t(sides + i));
        const int j = (i + 1) % sides;
        prism.faces.push_back({std::uint16_t(i), std::uint16_t(j), std::uint16_t(sides + j),
                               std::uint16_t(sides + i)});
    }
    for (int i = 0; i < sides; ++i) {
        prism.points.push_back(prism.points[std::size_t(i)] + Vector3(0, 0, 1));
    }
    load(0, prism);
    ASSERT_EQ(scratchEdgesNeeded(sceneObjects[0]), 180 + 62);
    ASSERT_EQ(scratchEdges.size(), 100u);
    setRow(4, {0});

    for (const bool sized : {false, true}) {
        if (sized) {
            ASSERT_TRUE(reserveScratchEdges(scratchEdgesNeeded(sceneObjects[0])));
        }
        resetRenderStats();
        frameArena.reset();
        frameState.record.reset();
        {
            View root(Vector3(0.3f, 0.4f, -5), Vector3(0, 0, 0), 1.0f, 1.0f, 1.0f);
            root.draw(sceneTraversal, 1);
        }
        countFrame(frameState.stats, frameState.record, frameArena, false, false);
        EXPECT_EQ(frameState.stats.frameOverflowed, !sized);
        EXPECT_EQ(frameState.stats.viewsDrawn > 1, sized);
    }
}

}  // namespace

// Merged, a tiled view's tint rides in the environment passes under it only
// when it adds colour in some channel; with a black tint, a pass that adds
// nothing is not sent at all.
TEST(PassPlanTest, OnlyATintThatAddsColourIsCarriedAndPassesAddingNothingAreNotSent) {
    FrameRecord record;
    ASSERT_TRUE(record.create(2));
    DrawCommand fill;  // the root, its window tiled by its pieces
    fill.windowTiled = true;
    DrawCommand environment = fill;
    environment.pass = DrawPass::Environment;
    environment.color = Color(1, 1, 1, 0);  // a picture that adds nothing
    record.append(fill);
    record.append(environment);
    PassPlan plan;
    ASSERT_TRUE(plan.create(2));
    for (const Color& tint :
         {Color(0, 0, 0, 1), Color(0.2f, 0, 0, 1), Color(0, 0.2f, 0, 1), Color(0, 0, 0.2f, 1)}) {
        record.commands[0].color = tint;
        planPasses(record, PassMode::Merged, plan);
        const bool adds = tint.r + tint.g + tint.b > 0.0f;
        // The tiled fill is never sent; the environment only with the tint.
        ASSERT_EQ(plan.count, adds ? 1 : 0) << tint.r << tint.g << tint.b;
        if (adds) {
            const Rgba& carried = plan.passes[0].colors.tint;
            EXPECT_EQ(plan.passes[0].command, 1);
            EXPECT_FLOAT_EQ(carried.c[0] + carried.c[1] + carried.c[2], 0.2f);
        }
    }
}
