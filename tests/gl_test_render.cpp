// Whole frames drawn with real OpenGL on the headless context: pictures at
// fixed times against stored references, what must be black, lit or tinted,
// the texture's edge cases, and the frame's memory rules.
//
// GLASSWAKE_UPDATE_REFERENCES=1 rewrites tests/reference/*.png from this run
// (do it only after checking the new pictures by eye).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "app/hooks.h"
#include "assets/image.h"
#include "assets/texture.h"
#include "render/frame_arena.h"
#include "render/gl.h"
#include "render/render_stats.h"
#include "render/view.h"
#include "scene/scene.h"
#include "tests/support.h"
#include "tools/headless_gl.h"
#include "tools/png_writer.h"

// Counts operator new on the test's own thread while enabled; the driver's
// worker threads are not the frame's. Every form is replaced, so each block
// is freed by the allocator that made it.
namespace {
thread_local bool countingNew = false;
thread_local std::uint64_t newCalls = 0;

void* countedNewNothrow(std::size_t size) noexcept {
    if (countingNew) {
        ++newCalls;
    }
    return std::malloc(size ? size : 1);
}

void* countedNew(std::size_t size) {
    void* block = countedNewNothrow(size);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}
}  // namespace

void* operator new(std::size_t size) {
    return countedNew(size);
}
void* operator new[](std::size_t size) {
    return countedNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return countedNewNothrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedNewNothrow(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

namespace {

using testing_support::scratchPath;
using testing_support::sourcePath;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    const std::uint8_t* at(int x, int y) const {
        return rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(x)) *
                                3;
    }
};

// One context and one started scene for the whole program, as in a shell.
HeadlessGl context;

void startScene(const std::string& dataRoot) {
    std::filesystem::current_path(dataRoot);
    ASSERT_TRUE(PreInit()) << "data under " << dataRoot;
    if (!context.display) {
        ASSERT_TRUE(context.create(kWidth, kHeight)) << context.error;
    }
    clientSize.width = kWidth;
    clientSize.height = kHeight;
    glViewport(0, 0, kWidth, kHeight);
    ASSERT_TRUE(Init());
}

Picture drawFrame(std::uint32_t timeMs, int width = kWidth, int height = kHeight) {
    if (context.width != width || context.height != height) {
        EXPECT_TRUE(context.resize(width, height)) << context.error;
    }
    clientSize.width = width;
    clientSize.height = height;
    glViewport(0, 0, width, height);
    frameTimeMs = timeMs;
    EXPECT_TRUE(Frame());
    Picture picture;
    picture.width = width;
    picture.height = height;
    EXPECT_TRUE(context.readPixels(picture.rgb));
    return picture;
}

class RenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startScene(sourcePath("")); }
    void TearDown() override {
        // Leave the shared scene as the demo runs it.
        frameDepthBudget = 2;
        renderDrawingEnabled = true;
        if (frameArena.polygonCapacity != kFramePolygonCapacity) {
            recreateFrameArena(kFramePolygonCapacity, kFramePointCapacity, kFrameSlotCapacity);
        }
    }
};

// Share of pixels whose channels all lie within tolerance of the reference.
double matchingShare(const Picture& picture, const Picture& reference, int tolerance) {
    std::size_t matching = 0;
    const std::size_t pixels = picture.rgb.size() / 3;
    for (std::size_t i = 0; i < pixels; ++i) {
        bool close = true;
        for (int c = 0; c < 3; ++c) {
            const int difference = static_cast<int>(picture.rgb[i * 3 + c]) -
                                   static_cast<int>(reference.rgb[i * 3 + c]);
            if (difference > tolerance || difference < -tolerance)
                close = false;
        }
        if (close)
            ++matching;
    }
    return pixels ? static_cast<double>(matching) / static_cast<double>(pixels) : 0.0;
}

bool updatingReferences() {
    const char* flag = std::getenv("GLASSWAKE_UPDATE_REFERENCES");
    return flag && std::string(flag) == "1";
}

TEST_F(RenderTest, FramesMatchTheStoredReferencePictures) {
    for (const std::uint32_t timeMs : {0u, 1250u, 2500u, 5000u}) {
        SCOPED_TRACE("frame at " + std::to_string(timeMs) + " ms");
        const Picture picture = drawFrame(timeMs);
        const std::string path =
            sourcePath("tests/reference/frame_" + std::to_string(timeMs) + "ms.png");
        std::string error;
        if (updatingReferences()) {
            ASSERT_TRUE(writePngRgb(path, picture.width, picture.height, picture.rgb, error))
                << error;
            continue;
        }
        Picture reference;
        ASSERT_TRUE(readPngRgb(path, reference.width, reference.height, reference.rgb, error))
            << error << " (GLASSWAKE_UPDATE_REFERENCES=1 writes the references)";
        ASSERT_EQ(reference.width, picture.width);
        ASSERT_EQ(reference.height, picture.height);
        const double share = matchingShare(picture, reference, 4);
        if (share < 0.999) {
            const std::string actual = scratchPath("frame_" + std::to_string(timeMs) + "ms.png");
            writePngRgb(actual, picture.width, picture.height, picture.rgb, error);
            ADD_FAILURE() << "only " << share * 100.0 << "% of the pixels match " << path
                          << "; this run's picture: " << actual;
        }
    }
}

TEST_F(RenderTest, SameTimeGivesTheSamePictureWhateverCameBefore) {
    const Picture first = drawFrame(2500);
    drawFrame(0);
    drawFrame(7000);
    const Picture again = drawFrame(2500);
    EXPECT_EQ(first.rgb, again.rgb);
    // The orbit closes after 8 seconds (up to the rounding of the angle).
    EXPECT_GE(matchingShare(drawFrame(8000), drawFrame(0), 4), 0.999);
}

TEST_F(RenderTest, BorderIsBlackAndTheWindowIsLitAndColoured) {
    for (const std::uint32_t timeMs : {0u, 3300u}) {
        const Picture picture = drawFrame(timeMs);
        // The root window spans 1/1.1 of each side, centred: about 14.5
        // columns and 10.9 rows stay outside it on each side.
        int litOutside = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool inBorder = x < 14 || x >= kWidth - 14 || y < 10 || y >= kHeight - 10;
                const std::uint8_t* p = picture.at(x, y);
                if (inBorder && (p[0] | p[1] | p[2]) != 0)
                    ++litOutside;
            }
        }
        EXPECT_EQ(litOutside, 0) << "at " << timeMs << " ms";

        // Inside: nothing is left unlit (the fill alone adds a tenth of white)
        // and the picture is in colour, not grey.
        int dark = 0;
        int coloured = 0;
        for (int y = 16; y < kHeight - 16; ++y) {
            for (int x = 20; x < kWidth - 20; ++x) {
                const std::uint8_t* p = picture.at(x, y);
                if (p[0] < 20 && p[1] < 20 && p[2] < 20)
                    ++dark;
                if (std::abs(p[0] - p[1]) > 30 || std::abs(p[1] - p[2]) > 30)
                    ++coloured;
            }
        }
        const int inside = (kHeight - 32) * (kWidth - 40);
        EXPECT_EQ(dark, 0) << "at " << timeMs << " ms";
        EXPECT_GT(coloured, inside / 2) << "at " << timeMs << " ms";
    }
}

TEST_F(RenderTest, EveryFrameAddsUpManyViewsAndStaysInsideTheArena) {
    resetRenderStats();
    drawFrame(1250);
    EXPECT_EQ(renderStats.framesRendered, 1);
    // The root, two children per visible face, and their children.
    EXPECT_GT(renderStats.viewsDrawn, 10);
    EXPECT_GE(renderStats.triangleFans, renderStats.viewsDrawn);
    EXPECT_FALSE(renderStats.frameOverflowed);
    EXPECT_LE(renderStats.peakPolygonsUsed, kFramePolygonCapacity);
}

TEST_F(RenderTest, SteadyFrameAllocatesNothingFromTheHeap) {
    drawFrame(600);  // warm-up: the driver builds its programs here
    for (const std::uint32_t timeMs : {600u, 1900u, 4100u, 6600u}) {
        frameTimeMs = timeMs;
        newCalls = 0;
        countingNew = true;
        Frame();
        countingNew = false;
        EXPECT_EQ(newCalls, 0u) << "at " << timeMs << " ms";
    }
    glFinish();
}

TEST_F(RenderTest, DeepTraversalOnTinyArenaEndsTheFrameSafely) {
    // Far more views than the arena can hold: the frame must stop taking
    // memory, not write past it (the sanitizer build checks the writes).
    frameDepthBudget = 4;
    ASSERT_TRUE(recreateFrameArena(40, 60, 120));
    resetRenderStats();
    for (const std::uint32_t timeMs : {0u, 2500u, 5300u}) {
        drawFrame(timeMs);
    }
    EXPECT_EQ(renderStats.framesRendered, 3);
    EXPECT_EQ(renderStats.overflowFrames, 3);
    EXPECT_LE(renderStats.peakPolygonsUsed, 40);
    EXPECT_LE(renderStats.peakPointsUsed, 60);
    EXPECT_LE(renderStats.peakSlotsUsed, 120);

    // The full arena at depth 4 has room for everything.
    ASSERT_TRUE(recreateFrameArena(kFramePolygonCapacity, kFramePointCapacity, kFrameSlotCapacity));
    resetRenderStats();
    drawFrame(2500);
    EXPECT_EQ(renderStats.overflowFrames, 0);
}

// Clears to a colour the scene never produces, so "untouched" is visible.
void clearToMarker() {
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

bool allPixelsAreMarker(const Picture& picture) {
    for (std::size_t i = 0; i < picture.rgb.size(); i += 3) {
        if (picture.rgb[i] != 0 || picture.rgb[i + 1] != 0 || picture.rgb[i + 2] != 255) {
            return false;
        }
    }
    return true;
}

TEST_F(RenderTest, ZeroHeightClientAreaDrawsNothing) {
    clearToMarker();
    resetRenderStats();
    clientSize.width = kWidth;
    clientSize.height = 0;
    frameTimeMs = 1000;
    EXPECT_TRUE(Frame());
    EXPECT_EQ(renderStats.framesRendered, 0);
    Picture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    ASSERT_TRUE(context.readPixels(picture.rgb));
    EXPECT_TRUE(allPixelsAreMarker(picture));
    clientSize.height = kHeight;
}

TEST_F(RenderTest, DrawingSwitchedOffTouchesNoPixelButCountsTheSameWork) {
    resetRenderStats();
    drawFrame(2500);
    const std::int64_t views = renderStats.viewsDrawn;
    const std::int64_t fans = renderStats.triangleFans;

    renderDrawingEnabled = false;
    clearToMarker();
    frameTimeMs = 2500;
    Frame();
    Picture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    ASSERT_TRUE(context.readPixels(picture.rgb));
    EXPECT_TRUE(allPixelsAreMarker(picture));
    EXPECT_EQ(renderStats.viewsDrawn, views);
    EXPECT_EQ(renderStats.triangleFans, fans);
}

TEST_F(RenderTest, OtherFrameSizesKeepTheBorderProportion) {
    // A wide and a tall frame: the border is 1/1.1 of each side either way.
    for (const auto& size : {std::pair<int, int>{200, 60}, std::pair<int, int>{61, 203}}) {
        const Picture picture = drawFrame(2500, size.first, size.second);
        const int marginX = static_cast<int>(size.first * (1.0 - 1.0 / 1.1) / 2.0);
        const int marginY = static_cast<int>(size.second * (1.0 - 1.0 / 1.1) / 2.0);
        const std::uint8_t* corner = picture.at(0, 0);
        EXPECT_EQ(corner[0] | corner[1] | corner[2], 0);
        const std::uint8_t* inside = picture.at(marginX + 2, marginY + 2);
        EXPECT_GT(inside[0] + inside[1] + inside[2], 30);
        const std::uint8_t* outside = picture.at(size.first - 1, size.second - 1);
        EXPECT_EQ(outside[0] | outside[1] | outside[2], 0);
    }
    drawFrame(0, kWidth, kHeight);
}

// A View whose window is one axis-aligned rectangle from the frame arena,
// clockwise like every window.
void setRectangleWindow(View& view, float left, float top, float right, float bottom) {
    Polygon* polygon = frameArena.newPolygon();
    ASSERT_NE(polygon, nullptr);
    polygon->next = nullptr;
    ASSERT_TRUE(polygon->allocateVertices(4));
    polygon->vertices[0] = frameArena.newPoint(left, top);
    polygon->vertices[1] = frameArena.newPoint(right, top);
    polygon->vertices[2] = frameArena.newPoint(right, bottom);
    polygon->vertices[3] = frameArena.newPoint(left, bottom);
    view.window.head = polygon;
    view.window.count = 1;
}

// The GL state a frame draws with: window coordinates -2..2 by -2..2 here.
void additiveState() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-2.0, 2.0, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glClear(GL_COLOR_BUFFER_BIT);
}

TEST_F(RenderTest, OverlappingViewsAddUpWhicheverIsDrawnFirst) {
    drawFrame(0, kWidth, kHeight);
    frameArena.reset();
    View left;
    View right;
    setRectangleWindow(left, -1.5f, 1.0f, 0.5f, -1.0f);
    setRectangleWindow(right, -0.5f, 1.0f, 1.5f, -1.0f);
    left.fillColor = Color(0.8f, 0.2f, 0.0f, 0.5f);   // adds (102, 25, 0)
    right.fillColor = Color(0.0f, 0.4f, 0.6f, 1.0f);  // adds (0, 102, 153)

    additiveState();
    left.drawFill();
    right.drawFill();
    Picture leftFirst;
    leftFirst.width = kWidth;
    leftFirst.height = kHeight;
    ASSERT_TRUE(context.readPixels(leftFirst.rgb));

    additiveState();
    right.drawFill();
    left.drawFill();
    Picture rightFirst;
    rightFirst.width = kWidth;
    rightFirst.height = kHeight;
    ASSERT_TRUE(context.readPixels(rightFirst.rgb));

    EXPECT_EQ(leftFirst.rgb, rightFirst.rgb);
    // x = -1, 0, 1 in window units: left only, both, right only.
    const std::uint8_t* onlyLeft = leftFirst.at(kWidth / 4, kHeight / 2);
    const std::uint8_t* both = leftFirst.at(kWidth / 2, kHeight / 2);
    const std::uint8_t* onlyRight = leftFirst.at(kWidth * 3 / 4, kHeight / 2);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(both[c], onlyLeft[c] + onlyRight[c], 1) << "channel " << c;
    }
    EXPECT_NEAR(onlyLeft[0], 102, 1);
    EXPECT_NEAR(onlyRight[2], 153, 1);
    // A mirrored view's fill (all zero) adds nothing.
    View mirrored;
    setRectangleWindow(mirrored, -2.0f, 2.0f, 2.0f, -2.0f);
    mirrored.fillColor = Color(0.0f, 0.0f, 0.0f, 0.0f);
    mirrored.drawFill();
    Picture after;
    after.width = kWidth;
    after.height = kHeight;
    ASSERT_TRUE(context.readPixels(after.rgb));
    EXPECT_EQ(after.rgb, rightFirst.rgb);
}

// --- The texture ---------------------------------------------------------

void fillImage(Image& image, std::uint32_t width, std::uint32_t height, std::uint32_t bits,
               std::uint8_t seed) {
    ASSERT_TRUE(image.allocate(width, height, bits));
    for (std::uint32_t i = 0; i < image.byteSize; ++i) {
        image.pixels[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
}

GLint boundTexture() {
    GLint name = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

std::vector<std::uint8_t> levelZeroRgba(const Texture& texture, GLint& width, GLint& height) {
    texture.bind();
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width * height * 4));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

class TextureTest : public RenderTest {};

TEST_F(TextureTest, CreatingTwiceReplacesTheFirstTexture) {
    Image image;
    fillImage(image, 4, 4, 24, 1);
    Texture texture;
    ASSERT_TRUE(texture.create(image, nullptr));
    const GLuint first = texture.handle - 1;
    EXPECT_GE(texture.handle, 2u);
    EXPECT_TRUE(glIsTexture(first));
    ASSERT_TRUE(texture.create(image, nullptr));
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_TRUE(glIsTexture(texture.handle - 1));
    texture.destroy();
    EXPECT_EQ(texture.handle, 0u);
    texture.destroy();  // twice is harmless
    EXPECT_EQ(texture.handle, 0u);
}

TEST_F(TextureTest, ColourWithSeparateAlphaBecomesOneRgbaTexture) {
    Image colour;
    fillImage(colour, 4, 2, 24, 10);
    Image alpha;
    fillImage(alpha, 4, 2, 8, 200);
    Texture texture;
    ASSERT_TRUE(texture.create(colour, &alpha));
    GLint width = 0;
    GLint height = 0;
    const std::vector<std::uint8_t> rgba = levelZeroRgba(texture, width, height);
    ASSERT_EQ(width, 4);
    ASSERT_EQ(height, 2);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(rgba[static_cast<std::size_t>(i) * 4 + 0], colour.pixels[i * 3 + 0]);
        EXPECT_EQ(rgba[static_cast<std::size_t>(i) * 4 + 1], colour.pixels[i * 3 + 1]);
        EXPECT_EQ(rgba[static_cast<std::size_t>(i) * 4 + 2], colour.pixels[i * 3 + 2]);
        EXPECT_EQ(rgba[static_cast<std::size_t>(i) * 4 + 3], alpha.pixels[i]);
    }
}

TEST_F(TextureTest, AlphaOfAnotherSizeIsRefusedAndLeavesNoTexture) {
    Image colour;
    fillImage(colour, 4, 2, 24, 10);
    Image narrower;
    fillImage(narrower, 3, 2, 8, 200);
    Texture texture;
    EXPECT_FALSE(texture.create(colour, &narrower));
    EXPECT_EQ(texture.handle, 0u);
    Image deeper;
    fillImage(deeper, 4, 2, 24, 200);
    EXPECT_FALSE(texture.create(colour, &deeper));
    EXPECT_EQ(texture.handle, 0u);
}

TEST_F(TextureTest, FourChannelImageKeepsItsOwnAlpha) {
    Image colour;
    fillImage(colour, 2, 2, 32, 50);
    Image alpha;
    fillImage(alpha, 2, 2, 8, 0);
    Texture texture;
    ASSERT_TRUE(texture.create(colour, &alpha));
    GLint width = 0;
    GLint height = 0;
    const std::vector<std::uint8_t> rgba = levelZeroRgba(texture, width, height);
    ASSERT_EQ(rgba.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(rgba[i], colour.pixels[i]);
}

TEST_F(TextureTest, EmptyImageGivesANameWithoutPixelsAndEmptyHolderBindsZero) {
    Image empty;
    Texture texture;
    EXPECT_TRUE(texture.create(empty, nullptr));
    EXPECT_GE(texture.handle, 2u);

    // One black texel keeps the texture complete, so textured polygons add
    // nothing instead of being drawn untextured in their full colour.
    GLint width = 0;
    GLint height = 0;
    const std::vector<std::uint8_t> rgba = levelZeroRgba(texture, width, height);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(height, 1);
    ASSERT_EQ(rgba.size(), 4u);
    EXPECT_EQ(rgba[0] | rgba[1] | rgba[2], 0);

    Texture holder;
    texture.bind();
    EXPECT_EQ(boundTexture(), static_cast<GLint>(texture.handle - 1));
    holder.bind();
    EXPECT_EQ(boundTexture(), 0);
}

// --- Without the environment picture -------------------------------------

TEST(MissingPictureTest, WindowShowsOnlyTheFillTintWhereNoObjectIs) {
    // A data folder without env.bmp: the demo still starts and draws.
    const std::string root = scratchPath("no_picture");
    std::filesystem::create_directories(root + "/data");
    for (const char* name : {"base2.lwo", "crystal1.lwo", "crystal2.lwo", "crystal3.lwo"}) {
        std::filesystem::copy_file(sourcePath(std::string("data/") + name), root + "/data/" + name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    startScene(root);
    const Picture picture = drawFrame(0);
    // Just inside the window's top-left corner no object is in sight: only
    // the root's fill, a tenth of white, reaches it.
    const std::uint8_t* p = picture.at(20, 15);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(p[c], 26, 2) << "channel " << c;
    }
    const std::uint8_t* border = picture.at(2, 2);
    EXPECT_EQ(border[0] | border[1] | border[2], 0);

    // Back to the shipped data for any test that follows.
    Shutdown();
    startScene(sourcePath(""));
}

}  // namespace
