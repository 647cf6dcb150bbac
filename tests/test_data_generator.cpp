#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "tests/support.h"
#include "tools/data_check.h"
#include "tools/data_generator.h"

using testing_support::readFile;
using testing_support::scratchPath;
using testing_support::sourcePath;

namespace {

// Writes a generated mesh and loads it back with the demo's reader.
bool loadGenerated(const MeshData& mesh, const std::string& name, SceneObject& object) {
    const std::string path = scratchPath(name);
    return writeLwo(path, mesh) && object.loadLwo(path.c_str()) && object.buildEdges();
}

struct Bounds {
    float low[3] = {1e9f, 1e9f, 1e9f};
    float high[3] = {-1e9f, -1e9f, -1e9f};
    float radius = 0.0f;  // largest distance from the vertical axis
};

Bounds boundsOf(const MeshData& mesh) {
    Bounds bounds;
    for (const MeshData::Point& p : mesh.points) {
        const float values[3] = {p.x, p.y, p.z};
        for (int axis = 0; axis < 3; ++axis) {
            bounds.low[axis] = std::min(bounds.low[axis], values[axis]);
            bounds.high[axis] = std::max(bounds.high[axis], values[axis]);
        }
        bounds.radius = std::max(bounds.radius, std::sqrt(p.x * p.x + p.z * p.z));
    }
    return bounds;
}

// Mean absolute channel difference between two rows or two columns.
double rowDifference(const PictureData& picture, int rowA, int rowB) {
    double sum = 0.0;
    for (int i = 0; i < picture.width * 3; ++i) {
        sum += std::abs(picture.rgb[static_cast<std::size_t>(rowA * picture.width * 3 + i)] -
                        picture.rgb[static_cast<std::size_t>(rowB * picture.width * 3 + i)]);
    }
    return sum / (picture.width * 3);
}

double columnDifference(const PictureData& picture, int columnA, int columnB) {
    double sum = 0.0;
    for (int y = 0; y < picture.height; ++y) {
        for (int c = 0; c < 3; ++c) {
            const std::size_t row = static_cast<std::size_t>(y) * picture.width * 3;
            sum += std::abs(picture.rgb[row + static_cast<std::size_t>(columnA * 3 + c)] -
                            picture.rgb[row + static_cast<std::size_t>(columnB * 3 + c)]);
        }
    }
    return sum / (picture.height * 3);
}

TEST(DataGeneratorObjects, LoadClosedConvexAndOutward) {
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(dataFileNames[i]);
        const MeshData mesh = generateObject(i);
        SceneObject object;
        ASSERT_TRUE(loadGenerated(mesh, dataFileNames[i], object));
        EXPECT_EQ(object.pointCount, static_cast<int>(mesh.points.size()));
        EXPECT_EQ(object.faceCount, static_cast<int>(mesh.faces.size()));
        // Positions come back bit for bit.
        for (int p = 0; p < object.pointCount; ++p) {
            EXPECT_EQ(object.points[p].position.x, mesh.points[p].x);
            EXPECT_EQ(object.points[p].position.y, mesh.points[p].y);
            EXPECT_EQ(object.points[p].position.z, mesh.points[p].z);
        }
        EXPECT_EQ(checkObjectGeometry(object, dataFileNames[i]), std::vector<std::string>{});
        // Few faces: the renderer's outline table is never at risk.
        EXPECT_LE(object.edgeCount + object.faceCount, outlineCapacity);
    }
}

TEST(DataGeneratorObjects, SceneLayoutSuitsTheCamera) {
    const Bounds base = boundsOf(generateObject(0));
    EXPECT_EQ(base.low[1], 0.0f);
    EXPECT_LE(base.high[1], 0.4f);
    EXPECT_GE(base.radius, 1.5f);
    EXPECT_LE(base.radius, 2.0f);

    float tallest = 0.0f;
    std::vector<float> heights;
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        const Bounds crystal = boundsOf(generateObject(i));
        // Standing on the base's top face, inside its rim.
        EXPECT_EQ(crystal.low[1], base.high[1]);
        EXPECT_LT(crystal.radius, base.radius);
        heights.push_back(crystal.high[1]);
        tallest = std::max(tallest, crystal.high[1]);
    }
    EXPECT_NEAR(tallest, 3.5f, 0.25f);
    std::sort(heights.begin(), heights.end());
    EXPECT_LT(heights[0], heights[1]);
    EXPECT_LT(heights[1], heights[2]);
}

TEST(DataGeneratorObjects, CrystalsStandApart) {
    SceneObject crystals[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(loadGenerated(generateObject(i + 1), "apart" + std::to_string(i) + ".lwo",
                                  crystals[i]));
    }
    for (int a = 0; a < 3; ++a) {
        for (int b = a + 1; b < 3; ++b) {
            EXPECT_TRUE(convexObjectsApart(crystals[a], crystals[b], 0.05f)) << a << " " << b;
        }
    }
    // The separation test itself: an object is never apart from itself.
    EXPECT_FALSE(convexObjectsApart(crystals[0], crystals[0], 0.0f));
}

TEST(DataGeneratorObjects, OutlinesStayWithinTheRendererTable) {
    SceneObject objects[4];
    const SceneObject* pointers[4];
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(
            loadGenerated(generateObject(i), "outline" + std::to_string(i) + ".lwo", objects[i]));
        pointers[i] = &objects[i];
    }
    const std::vector<Vector3> eyes = sampleEyes(pointers, 4);
    for (int i = 0; i < 4; ++i) {
        const int largest = largestOutline(objects[i], eyes);
        EXPECT_GT(largest, 0);
        EXPECT_LE(largest, outlineCapacity);
    }
}

TEST(DataGeneratorPicture, ReadsBackAsTheGeneratedPixels) {
    const PictureData picture = generateEnvironment();
    ASSERT_EQ(picture.width, 256);
    ASSERT_EQ(picture.height, 256);
    const std::string path = scratchPath("env.bmp");
    ASSERT_TRUE(writeBmp(path, picture));
    Image image;
    ASSERT_TRUE(image.load(path.c_str(), readBmp));
    EXPECT_EQ(image.bitsPerPixel, 24u);
    ASSERT_EQ(image.byteSize, picture.rgb.size());
    EXPECT_TRUE(std::equal(picture.rgb.begin(), picture.rgb.end(), image.pixels));
}

TEST(DataGeneratorPicture, TilesWithoutASeam) {
    const PictureData picture = generateEnvironment();
    const int last = picture.width - 1;
    // The jump across the wrap is no bigger than between neighbours inside.
    double inside = 0.0;
    for (int i = 0; i < last; ++i) {
        inside += rowDifference(picture, i, i + 1) + columnDifference(picture, i, i + 1);
    }
    inside /= 2 * last;
    EXPECT_LE(rowDifference(picture, last, 0), 2.0 * inside + 4.0);
    EXPECT_LE(columnDifference(picture, last, 0), 2.0 * inside + 4.0);
    // Yet the first and the middle rows differ: the picture is not flat.
    EXPECT_GT(rowDifference(picture, 0, picture.height / 2), 10.0);
}

TEST(DataGeneratorPicture, BrightAndColourful) {
    const PictureData picture = generateEnvironment();
    double sum = 0.0;
    int dark = 0;
    int hues[3] = {0, 0, 0};  // pixels where red, green or blue leads clearly
    const std::size_t count = picture.rgb.size() / 3;
    for (std::size_t i = 0; i < count; ++i) {
        const int r = picture.rgb[i * 3], g = picture.rgb[i * 3 + 1], b = picture.rgb[i * 3 + 2];
        const int luma = (r * 3 + g * 6 + b) / 10;
        sum += luma;
        dark += luma < 40 ? 1 : 0;
        const int channel[3] = {r, g, b};
        for (int c = 0; c < 3; ++c) {
            if (channel[c] > channel[(c + 1) % 3] + 30 && channel[c] > channel[(c + 2) % 3] + 30) {
                ++hues[c];
            }
        }
    }
    EXPECT_GT(sum / count, 80.0);
    EXPECT_LT(dark, static_cast<int>(count / 10));
    for (int c = 0; c < 3; ++c) {
        EXPECT_GT(hues[c], static_cast<int>(count / 50)) << "channel " << c;
    }
}

TEST(DataGeneratorFiles, ShippedDataEqualsTheGeneratorOutput) {
    const std::string directory = scratchPath("regenerated");
    std::string failed;
    ASSERT_TRUE(writeDataSet(directory, &failed)) << failed;
    for (const char* name : dataFileNames) {
        SCOPED_TRACE(name);
        std::vector<std::uint8_t> generated, shipped;
        ASSERT_TRUE(readFile(directory + "/" + name, generated));
        ASSERT_TRUE(readFile(sourcePath(std::string("data/") + name), shipped));
        EXPECT_FALSE(generated.empty());
        EXPECT_TRUE(generated == shipped) << "regenerate with: glasswake-tool make-data data";
    }
}

TEST(DataGeneratorFiles, WriteFailureNamesTheFile) {
    // A directory path that runs through a regular file cannot be created.
    const std::string blocker = scratchPath("blocker");
    ASSERT_TRUE(testing_support::writeFile(blocker, {1, 2, 3}));
    std::string failed;
    EXPECT_FALSE(writeDataSet(blocker + "/data", &failed));
    EXPECT_EQ(failed, blocker + "/data/base2.lwo");
}

TEST(LwoWriter, ChunkSizesAddUp) {
    MeshData mesh = generateObject(1);
    mesh.surfaceName = "Odd";  // 3 letters + NUL: already even
    std::vector<std::uint8_t> bytes = encodeLwo(mesh);
    ASSERT_GE(bytes.size(), 12u);
    auto big32 = [&](std::size_t at) {
        return (std::uint32_t(bytes[at]) << 24) | (std::uint32_t(bytes[at + 1]) << 16) |
               (std::uint32_t(bytes[at + 2]) << 8) | std::uint32_t(bytes[at + 3]);
    };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "FORM");
    EXPECT_EQ(big32(4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "LWOB");
    // Walking the chunks lands exactly on the end, every size even.
    std::vector<std::string> ids;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        ids.emplace_back(bytes.begin() + static_cast<long>(at),
                         bytes.begin() + static_cast<long>(at + 4));
        const std::uint32_t size = big32(at + 4);
        EXPECT_EQ(size % 2, 0u);
        at += 8 + size;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(ids, (std::vector<std::string>{"SRFS", "PNTS", "POLS"}));

    mesh.surfaceName = "Even";  // 4 letters + NUL: padded to 6
    bytes = encodeLwo(mesh);
    EXPECT_EQ(big32(16), 6u);
}

TEST(LwoWriter, RefusesMeshesItCannotStore) {
    MeshData mesh = generateObject(2);
    mesh.faces[3][1] = static_cast<std::uint16_t>(mesh.points.size());
    EXPECT_TRUE(encodeLwo(mesh).empty());
    EXPECT_FALSE(writeLwo(scratchPath("refused.lwo"), mesh));
    EXPECT_FALSE(std::filesystem::exists(scratchPath("refused.lwo")));
}

TEST(BmpWriter, PadsOddRowsAndRefusesMismatchedBuffers) {
    PictureData picture;
    picture.width = 5;
    picture.height = 3;
    for (int i = 0; i < 5 * 3 * 3; ++i) {
        picture.rgb.push_back(static_cast<std::uint8_t>(i * 5));
    }
    const std::vector<std::uint8_t> bytes = encodeBmp(picture);
    EXPECT_EQ(bytes.size(), 54u + 16u * 3u);
    const std::string path = scratchPath("odd.bmp");
    ASSERT_TRUE(writeBmp(path, picture));
    Image image;
    ASSERT_TRUE(image.load(path.c_str(), readBmp));
    ASSERT_EQ(image.byteSize, picture.rgb.size());
    EXPECT_TRUE(std::equal(picture.rgb.begin(), picture.rgb.end(), image.pixels));

    picture.rgb.pop_back();
    EXPECT_TRUE(encodeBmp(picture).empty());
    picture.width = 0;
    picture.rgb.clear();
    EXPECT_TRUE(encodeBmp(picture).empty());
}

TEST(OrientFacesOutward, TurnsInwardFacesAndKeepsOutwardOnes) {
    MeshData mesh = generateObject(3);
    const MeshData original = mesh;
    for (std::vector<std::uint16_t>& face : mesh.faces) {
        std::reverse(face.begin(), face.end());
    }
    orientFacesOutward(mesh);
    SceneObject object;
    ASSERT_TRUE(loadGenerated(mesh, "reoriented.lwo", object));
    EXPECT_EQ(checkObjectGeometry(object, "reoriented"), std::vector<std::string>{});
    MeshData again = original;
    orientFacesOutward(again);
    EXPECT_EQ(again.faces, original.faces);
}

}  // namespace
